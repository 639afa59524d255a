#pragma once
// Start-up: one copy per user, the main window with its document, the
// command line's one optional file, and the window shown.

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace quorlin {

class CMainFrame;
class IPrompts;
class QuitSignals;
class SingleInstance;

class CQuorlinApp : public QObject {
    Q_OBJECT
public:
    explicit CQuorlinApp(IPrompts& prompts, QObject* parent = nullptr);
    ~CQuorlinApp() override;

    // arguments: the command line without the program's name. True when the
    // program is to run; false when it is to end at once: another copy runs
    // and took the request to come to the front and open the named file,
    // another copy runs but did not take it (said on stderr), or the named
    // file cannot be opened (the reason was shown).
    bool InitInstance(const QStringList& arguments);
    bool FoundRunningCopy() const { return m_bFoundRunningCopy; }
    // After InitInstance returned false: what the process ends with.
    int ExitCode() const { return m_bFoundRunningCopy ? 0 : 1; }

    CMainFrame* MainFrame() const { return m_frame.get(); }

private:
    // Files a later copy was started with, opened one after another as
    // File > Open would open them, once no dialog or question is up.
    void OnOpenRequested(const QString& path);
    void OpenRequestedFiles();

    IPrompts& m_prompts;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<QuitSignals> m_quitSignals;
    std::unique_ptr<CMainFrame> m_frame;
    QStringList m_requestedFiles;
    QTimer m_requestRetry;
    bool m_bOpeningRequested = false;
    bool m_bFoundRunningCopy = false;
};

}  // namespace quorlin
