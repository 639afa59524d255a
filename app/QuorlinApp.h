#pragma once
// Start-up: one copy per user, the main window with its document, the
// command line's one optional file, and the window shown.

#include <QObject>
#include <QStringList>
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
    // (it was asked to come to the front), or the named file cannot be
    // opened (the reason was shown).
    bool InitInstance(const QStringList& arguments);
    bool FoundRunningCopy() const { return m_bFoundRunningCopy; }

    CMainFrame* MainFrame() const { return m_frame.get(); }

private:
    IPrompts& m_prompts;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<QuitSignals> m_quitSignals;
    std::unique_ptr<CMainFrame> m_frame;
    bool m_bFoundRunningCopy = false;
};

}  // namespace quorlin
