#pragma once
// Edit > Find, Find Next (F3) and Replace on the editor: runs the dialogs'
// requests and reports a search that found nothing with "<text> find ended!".

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

    // The open dialog, or null.
    CFindReplaceDlg* Dialog() const { return m_pDialog; }

private:
    void OpenDialog(CFindReplaceDlg::Mode mode);
    void Find();
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
