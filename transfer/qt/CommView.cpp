#include "transfer/qt/CommView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "res/CommandIds.h"
#include "transfer/qt/CommTexts.h"
#include "transfer/qt/ControlCells.h"
#include "transfer/qt/ProgressDialogs.h"
#include "transfer/qt/TransferSession.h"
#include "ui/CommandAction.h"
#include "ui/FixedPitchFont.h"

namespace quorlin {

CCommView::CCommView(TransferSession& session, QWidget* parent) : QPlainTextEdit(parent), m_session(session) {
    setReadOnly(true);
    // Read-only, yet the caret moves and selects from the keyboard, so the
    // log can be read and copied without a mouse.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    setFont(FixedPitchFont());
    m_controlFormat = ControlCellFormat(font());
    setAccessibleName(QString::fromLatin1(texts::kLogAccessibleName));
    PaintLikeATextBox();
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(kShowIntervalMs);
    connect(&m_showTimer, &QTimer::timeout, this, &CCommView::ShowPendingLog);

    connect(&session, &TransferSession::logAppended, this, &CCommView::AppendToView);
    connect(&session, &TransferSession::logFrontErased, this, &CCommView::EraseViewFront);
    connect(&session, &TransferSession::logCleared, this, &CCommView::ClearView);
    connect(&session, &TransferSession::messageRequested, this, &CCommView::ShowMessageBox);
    connect(&session, &TransferSession::progressCreated, this, &CCommView::CreateProgressDialog);
    if (!session.Log().IsEmpty()) {
        AppendToView(session.Log().ViewText());
        ShowPendingLog();
    }
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

// The log changes with every read of the port, up to thousands of times a
// second; laying out and painting each change kept the window from answering
// and burnt a core. Changes are gathered and shown a few times a second, so
// the view's cost follows the screen, not the line.
void CCommView::AppendToView(const QString& text) {
    m_strPending += text;
    if (!m_showTimer.isActive()) m_showTimer.start();
}

// Characters that are still only pending go without ever being shown.
void CCommView::EraseViewFront(int count) {
    if (count <= 0) return;
    const int shown = document()->characterCount() - 1;  // without the final paragraph's end
    const int fromShown = qMin(count, shown - m_nPendingErase);
    m_nPendingErase += fromShown;
    m_strPending.remove(0, count - fromShown);
    if (!m_showTimer.isActive()) m_showTimer.start();
}

void CCommView::ClearView() {
    m_showTimer.stop();
    m_strPending.clear();
    m_nPendingErase = 0;
    clear();
}

// The view follows the end while the user has not scrolled away from it; the
// caret and any selection stay where the user left them.
void CCommView::ShowPendingLog() {
    m_showTimer.stop();
    if (m_nPendingErase == 0 && m_strPending.isEmpty()) return;
    QScrollBar* bar = verticalScrollBar();
    const bool followEnd = bar->value() >= bar->maximum();
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    if (m_nPendingErase > 0) {
        cursor.setPosition(0);
        cursor.setPosition(m_nPendingErase, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    if (!m_strPending.isEmpty()) {
        cursor.movePosition(QTextCursor::End);
        InsertLogText(cursor, m_strPending);
    }
    cursor.endEditBlock();
    m_nPendingErase = 0;
    m_strPending.clear();
    if (followEnd) bar->setValue(bar->maximum());
}

void CCommView::InsertLogText(QTextCursor& cursor, const QString& text) {
    const QTextCharFormat plain;
    qsizetype run = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (!IsControlCell(text[at])) continue;
        if (at > run) cursor.insertText(text.mid(run, at - run), plain);
        cursor.insertText(QString(text[at]), m_controlFormat);
        run = at + 1;
    }
    if (run < text.size()) cursor.insertText(run == 0 ? text : text.mid(run), plain);
}

// The boxes of the control bytes go over the text the editor painted; only
// the blocks in the area that is painted are looked at.
void CCommView::paintEvent(QPaintEvent* event) {
    QPlainTextEdit::paintEvent(event);
    QPainter painter(viewport());
    const QTextCursor selection = textCursor();
    const QRect area = event->rect();
    QTextBlock block = firstVisibleBlock();
    QPointF topLeft = blockBoundingGeometry(block).translated(contentOffset()).topLeft();
    while (block.isValid() && topLeft.y() <= area.bottom()) {
        const qreal height = blockBoundingRect(block).height();
        if (topLeft.y() + height >= area.top())
            PaintControlCells(painter, block, topLeft, palette(), selection.selectionStart(), selection.selectionEnd());
        topLeft.ry() += height;
        block = block.next();
    }
}

QMenu* CCommView::CreateContextMenu() {
    ShowPendingLog();  // the enable states follow the text the user sees
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
