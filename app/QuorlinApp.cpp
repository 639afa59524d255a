#include "app/QuorlinApp.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "app/MainFrame.h"
#include "app/Prompts.h"
#include "app/QuorlinDoc.h"
#include "app/QuitSignals.h"
#include "app/SingleInstance.h"

namespace quorlin {

namespace {

// How often a file a later copy asked for is tried again while a dialog or
// question of the window is up.
constexpr int kRequestRetryMs = 250;

}  // namespace

CQuorlinApp::CQuorlinApp(IPrompts& prompts, QObject* parent) : QObject(parent), m_prompts(prompts) {
    m_requestRetry.setSingleShot(true);
    m_requestRetry.setInterval(kRequestRetryMs);
    connect(&m_requestRetry, &QTimer::timeout, this, &CQuorlinApp::OpenRequestedFiles);
}

CQuorlinApp::~CQuorlinApp() = default;

bool CQuorlinApp::InitInstance(const QStringList& arguments) {
    m_instance = std::make_unique<SingleInstance>(SingleInstance::KeyForProfile());
    // Resolved here: the running copy works in another folder.
    const QString file = arguments.isEmpty() ? QString() : QFileInfo(arguments.front()).absoluteFilePath();
    switch (m_instance->AskRunningCopy(file)) {
    case SingleInstance::Answer::NoCopy: break;
    case SingleInstance::Answer::Taken: m_bFoundRunningCopy = true; return false;
    case SingleInstance::Answer::NotAnswered:
        // A second window would not be the only copy; ending quietly would
        // leave the person waiting for a file that never opens.
        std::fprintf(stderr, "quorlin: a copy of the program is running but did not answer%s%s; %s\n",
                     file.isEmpty() ? "" : " the request to open ", qPrintable(file),
                     "end it or wait until its window answers, then try again");
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
    // Queued: the socket's handler returns (and its answer goes out) before
    // the save question can hold the window.
    connect(m_instance.get(), &SingleInstance::openRequested, this, &CQuorlinApp::OnOpenRequested,
            Qt::QueuedConnection);
    m_frame->setAcceptDrops(true);
    m_frame->show();
    // The log view opens the port once the window has been drawn: a failure
    // shows its message over the window rather than before it.
    QTimer::singleShot(0, m_frame.get(), &CMainFrame::InitialUpdate);
    return true;
}

void CQuorlinApp::OnOpenRequested(const QString& path) {
    m_requestedFiles << path;
    OpenRequestedFiles();
}

void CQuorlinApp::OpenRequestedFiles() {
    if (m_bOpeningRequested || !m_frame) return;
    // A dialog or question that is up (File > Open's own, the settings, an
    // earlier file's save question) is answered first; the file then opens
    // as if it had been chosen after it.
    if (QApplication::activeModalWidget()) {
        m_requestRetry.start();
        return;
    }
    m_bOpeningRequested = true;
    while (!m_requestedFiles.isEmpty()) {
        const QString path = m_requestedFiles.takeFirst();
        m_frame->RestoreAndRaise();
        m_frame->OpenDocumentFile(path);
    }
    m_bOpeningRequested = false;
}

}  // namespace quorlin
