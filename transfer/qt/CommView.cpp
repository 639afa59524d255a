#include "transfer/qt/CommView.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "res/CommandIds.h"
#include "transfer/qt/CommTexts.h"
#include "transfer/qt/ProgressDialogs.h"
#include "transfer/qt/TransferSession.h"
#include "ui/CommandAction.h"

namespace quorlin {

CCommView::CCommView(TransferSession& session, QWidget* parent) : QPlainTextEdit(parent), m_session(session) {
    setReadOnly(true);
    // Read-only, yet the caret moves and selects from the keyboard, so the
    // log can be read and copied without a mouse.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setAccessibleName(QString::fromLatin1(texts::kLogAccessibleName));
    PaintLikeATextBox();

    connect(&session, &TransferSession::logAppended, this, &CCommView::AppendToView);
    connect(&session, &TransferSession::logFrontErased, this, &CCommView::EraseViewFront);
    connect(&session, &TransferSession::logCleared, this, &QPlainTextEdit::clear);
    connect(&session, &TransferSession::messageRequested, this, &CCommView::ShowMessageBox);
    connect(&session, &TransferSession::progressCreated, this, &CCommView::CreateProgressDialog);
    if (!session.Log().IsEmpty()) AppendToView(session.Log().ViewText());
}

// A read-only text box is drawn greyed by some styles; the log keeps the
// colours of an ordinary text box in every state.
void CCommView::PaintLikeATextBox() {
    QPalette colours = palette();
    const QColor base = colours.color(QPalette::Active, QPalette::Base);
    const QColor text = colours.color(QPalette::Active, QPalette::Text);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, base);
        colours.setColor(group, QPalette::Text, text);
    }
    setPalette(colours);
}

CProgressDlg* CCommView::ProgressDialog() const { return m_pProgressDlg.data(); }

void CCommView::OnInitialUpdate() { m_session.OpenPort(); }

void CCommView::OnClearAll() { m_session.ClearAll(); }

bool CCommView::OnUpdateClearAll() const { return !m_session.Log().IsEmpty(); }

// The new text lands at the end and the view follows it; a selection the
// user made gives way to the caret at the end.
void CCommView::AppendToView(const QString& text) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void CCommView::EraseViewFront(int count) {
    if (count <= 0) return;
    QTextCursor cursor(document());
    cursor.setPosition(0);
    cursor.setPosition(count, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    ensureCursorVisible();
}

QMenu* CCommView::CreateContextMenu() {
    auto* menu = new QMenu(QString::fromLatin1(texts::kCommViewMenuTitle), this);
    menu->setAccessibleName(menu->title());

    QAction* copy = menu->addAction(QString::fromLatin1(texts::kMenuCopy));
    SetCommandId(copy, cmd::kEditCopy);
    copy->setEnabled(textCursor().hasSelection());
    connect(copy, &QAction::triggered, this, &QPlainTextEdit::copy);

    QAction* selectAll = menu->addAction(QString::fromLatin1(texts::kMenuSelectAll));
    SetCommandId(selectAll, cmd::kEditSelectAll);
    selectAll->setEnabled(!document()->isEmpty());
    connect(selectAll, &QAction::triggered, this, &QPlainTextEdit::selectAll);

    menu->addSeparator();

    QAction* clearAll = menu->addAction(QString::fromLatin1(texts::kMenuClearAll));
    SetCommandId(clearAll, cmd::kClearAll);
    clearAll->setEnabled(OnUpdateClearAll());
    connect(clearAll, &QAction::triggered, this, &CCommView::OnClearAll);
    return menu;
}

void CCommView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // From the keyboard the menu opens at the caret; from the mouse at the pointer.
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard
                          ? viewport()->mapToGlobal(cursorRect().bottomLeft())
                          : event->globalPos();
    menu->popup(at);
    event->accept();
}

// Shown modally while the step that asked for it waits; the session holds
// back the port's messages until the step has ended.
void CCommView::ShowMessageBox(const QString& text, const QString& caption, MessageBoxIcon icon,
                               const QString& detail) {
    QMessageBox box(icon == MessageBoxIcon::Error ? QMessageBox::Critical : QMessageBox::Information, caption, text,
                    QMessageBox::Ok, this);
    box.setInformativeText(detail);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

// The dialog is owned by the main window and centred on it. One that cannot
// be made leaves the transfer running without it.
void CCommView::CreateProgressDialog(ProgressKind kind, const QString& portText, const QString& systemText,
                                     const QString& path) {
    // The engine has forgotten a window it did not destroy; it must not
    // follow, or cancel, the new transfer.
    if (m_pProgressDlg) m_pProgressDlg->Dismiss();
    QWidget* owner = window();
    CProgressDlg* dialog = nullptr;
    if (kind == ProgressKind::Sending)
        dialog = new CSendingDlg(m_session, owner);
    else
        dialog = new CReceivingDlg(m_session, owner);
    dialog->SetInfo(portText, systemText, path);
    if (!dialog->Create()) {
        m_pProgressDlg = nullptr;
        return;
    }
    m_pProgressDlg = dialog;
    dialog->showNormal();
}

}  // namespace quorlin
