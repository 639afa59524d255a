#include "app/QuorlinApp.h"

#include <QCoreApplication>
#include <QTimer>

#include "app/MainFrame.h"
#include "app/Prompts.h"
#include "app/QuorlinDoc.h"
#include "app/QuitSignals.h"
#include "app/SingleInstance.h"

namespace quorlin {

CQuorlinApp::CQuorlinApp(IPrompts& prompts, QObject* parent) : QObject(parent), m_prompts(prompts) {}

CQuorlinApp::~CQuorlinApp() = default;

bool CQuorlinApp::InitInstance(const QStringList& arguments) {
    m_instance = std::make_unique<SingleInstance>(SingleInstance::KeyForProfile());
    if (m_instance->AskRunningCopyToRaise()) {
        m_bFoundRunningCopy = true;
        return false;
    }

    IgnoreFileSizeLimitSignal();
    m_frame = std::make_unique<CMainFrame>(m_prompts);
    CQuorlinDoc& document = m_frame->Document();
    if (arguments.isEmpty()) {
        document.NewDocument();
    } else if (!document.OpenDocument(arguments.front())) {
        m_frame.reset();
        return false;
    }

    // From here on SIGTERM, SIGINT and SIGHUP end the program through the
    // window's own way out, which also removes the single-instance socket.
    // They are caught before the socket is listened on: whoever sees the
    // socket may signal at once.
    m_quitSignals = std::make_unique<QuitSignals>();
    connect(m_quitSignals.get(), &QuitSignals::quitRequested, m_frame.get(), [this] {
        m_frame->EndForSignal();
        QCoreApplication::quit();  // also past a modal dialog, or a converter window still open
    });
    m_instance->Listen();
    connect(m_instance.get(), &SingleInstance::raiseRequested, m_frame.get(), &CMainFrame::RestoreAndRaise);
    m_frame->setAcceptDrops(true);
    m_frame->show();
    // The log view opens the port once the window has been drawn: a failure
    // shows its message over the window rather than before it.
    QTimer::singleShot(0, m_frame.get(), &CMainFrame::InitialUpdate);
    return true;
}

}  // namespace quorlin
