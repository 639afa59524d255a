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
    Search(m_last);
}

void CFindReplace::OnEditFindPrevious() {
    if (m_last.what.isEmpty()) {
        OnEditFind();
        return;
    }
    SearchOptions reversed = m_last;
    reversed.down = !reversed.down;
    Search(reversed);
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
    connect(m_pDialog, &CFindReplaceDlg::findPrevious, this, &CFindReplace::FindBackwards);
    connect(m_pDialog, &CFindReplaceDlg::replaceNext, this, &CFindReplace::Replace);
    connect(m_pDialog, &CFindReplaceDlg::replaceAll, this, &CFindReplace::ReplaceEverything);
    m_pDialog->show();
}

void CFindReplace::Find() {
    m_last = m_pDialog->Options();
    Search(m_last);
}

void CFindReplace::FindBackwards() {
    m_last = m_pDialog->Options();
    SearchOptions reversed = m_last;
    reversed.down = !reversed.down;
    Search(reversed);
}

void CFindReplace::Search(const SearchOptions& options) { Report(FindWrapping(m_view, options), options); }

void CFindReplace::Replace() {
    m_last = m_pDialog->Options();
    SearchOptions down = m_last;
    down.down = true;  // Replace always goes on downwards
    Report(ReplaceNext(m_view, m_last, m_pDialog->ReplaceWith()), down);
}

void CFindReplace::ReplaceEverything() {
    m_last = m_pDialog->Options();
    const int count = ReplaceAll(m_view, m_last, m_pDialog->ReplaceWith());
    if (count == 0) {
        NotFound(m_last.what);
        return;
    }
    ShowStatus(count == 1 ? str::LoadText(str::kReplacedOne) : str::LoadText(str::kReplacedMany).arg(count));
}

void CFindReplace::Report(FindOutcome outcome, const SearchOptions& options) {
    switch (outcome) {
    case FindOutcome::Found: ShowStatus(QString()); break;
    case FindOutcome::Wrapped:
        ShowStatus(str::LoadText(options.down ? str::kWrappedToStart : str::kWrappedToEnd));
        break;
    case FindOutcome::NotFound:
        ShowStatus(QString());
        NotFound(options.what);
        break;
    }
}

void CFindReplace::ShowStatus(const QString& text) {
    if (m_pDialog) m_pDialog->ShowStatus(text);
    emit statusMessage(text);
}

void CFindReplace::NotFound(const QString& what) {
    QWidget* owner = m_pDialog ? static_cast<QWidget*>(m_pDialog.data()) : m_pWindow;
    m_prompts.Message(owner, what + str::LoadText(str::kFindEnded), str::LoadText(str::kCaptionPrompt),
                      PromptIcon::Information);
}

}  // namespace quorlin
