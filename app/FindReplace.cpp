#include "app/FindReplace.h"

#include <QTextCursor>

#include "app/Prompts.h"
#include "app/QuorlinView.h"
#include "res/StringTable.h"

namespace quorlin {

CFindReplace::CFindReplace(CQuorlinView& view, IPrompts& prompts, QWidget* window)
    : QObject(window), m_view(view), m_prompts(prompts), m_pWindow(window) {}

void CFindReplace::OnEditFind() { OpenDialog(CFindReplaceDlg::Mode::Find); }

void CFindReplace::OnEditReplace() { OpenDialog(CFindReplaceDlg::Mode::Replace); }

void CFindReplace::OnEditFindNext() {
    if (m_last.what.isEmpty()) {
        OnEditFind();
        return;
    }
    if (!FindNext(m_view, m_last)) NotFound(m_last.what);
}

void CFindReplace::OpenDialog(CFindReplaceDlg::Mode mode) {
    if (m_pDialog && m_pDialog->GetMode() == mode) {
        m_pDialog->raise();
        m_pDialog->activateWindow();
        return;
    }
    if (m_pDialog) m_pDialog->close();
    SearchOptions initial = m_last;
    // A selection within one line is what the user wants to look for.
    const QString selected = m_view.textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator)) initial.what = selected;
    m_pDialog = new CFindReplaceDlg(mode, initial, m_pWindow);
    connect(m_pDialog, &CFindReplaceDlg::findNext, this, &CFindReplace::Find);
    connect(m_pDialog, &CFindReplaceDlg::replaceNext, this, &CFindReplace::Replace);
    connect(m_pDialog, &CFindReplaceDlg::replaceAll, this, &CFindReplace::ReplaceEverything);
    m_pDialog->show();
}

void CFindReplace::Find() {
    m_last = m_pDialog->Options();
    if (!FindNext(m_view, m_last)) NotFound(m_last.what);
}

void CFindReplace::Replace() {
    m_last = m_pDialog->Options();
    if (!ReplaceNext(m_view, m_last, m_pDialog->ReplaceWith())) NotFound(m_last.what);
}

void CFindReplace::ReplaceEverything() {
    m_last = m_pDialog->Options();
    if (ReplaceAll(m_view, m_last, m_pDialog->ReplaceWith()) == 0) NotFound(m_last.what);
}

void CFindReplace::NotFound(const QString& what) {
    QWidget* owner = m_pDialog ? static_cast<QWidget*>(m_pDialog.data()) : m_pWindow;
    m_prompts.Message(owner, what + str::LoadText(str::kFindEnded), str::LoadText(str::kCaptionPrompt),
                      PromptIcon::Information);
}

}  // namespace quorlin
