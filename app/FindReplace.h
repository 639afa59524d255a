#pragma once
// Edit > Find, Find Next (F3), Find Previous (Shift+F3) and Replace on the
// editor: runs the dialogs' requests. A search goes round the program once;
// going round is told on the status bar, and a text that does not occur at
// all with "<text> find ended!".

#include <QObject>
#include <QPointer>

#include "app/FindReplaceDlg.h"
#include "app/TextSearch.h"

namespace quorlin {

class CQuorlinView;
class IPrompts;

class CFindReplace : public QObject {
    Q_OBJECT
public:
    CFindReplace(CQuorlinView& view, IPrompts& prompts, QWidget* window);

    void OnEditFind();
    void OnEditReplace();
    // Repeats the last search; with none yet, opens Find.
    void OnEditFindNext();
    // Repeats the last search in the other direction; with none yet, opens Find.
    void OnEditFindPrevious();

    // The open dialog, or null.
    CFindReplaceDlg* Dialog() const { return m_pDialog; }

signals:
    // A line for the status bar: the search went round, Replace All's count;
    // empty when a search found its text without going round.
    void statusMessage(const QString& text);

private:
    void OpenDialog(CFindReplaceDlg::Mode mode);
    void Find();
    void FindBackwards();
    void Search(const SearchOptions& options);
    void Report(FindOutcome outcome, const SearchOptions& options);
    void ShowStatus(const QString& text);
    void Replace();
    void ReplaceEverything();
    void NotFound(const QString& what);

    CQuorlinView& m_view;
    IPrompts& m_prompts;
    QWidget* m_pWindow;
    SearchOptions m_last;
    QPointer<CFindReplaceDlg> m_pDialog;
};

}  // namespace quorlin
