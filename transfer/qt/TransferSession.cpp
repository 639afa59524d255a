#include "transfer/qt/TransferSession.h"

#include <QFile>
#include <QTimer>
#include <QtGlobal>

#include "transfer/PortFailureText.h"
#include "transfer/SerialTransferPort.h"
#include "transfer/TransferEngine.h"

namespace quorlin {

namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromLocal(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }

// Without an eventfd (the process ran out of descriptors) the queue is
// looked at this often instead, so a transfer still moves.
constexpr int kQueuePollMs = 10;

}  // namespace

// Marks a step: while one runs, port messages wait. When the outermost step
// ends, a wake-up that came during it is made good.
class TransferSession::StepScope {
public:
    explicit StepScope(TransferSession& session) : m_session(session) { ++m_session.m_nStepDepth; }
    ~StepScope() {
        if (--m_session.m_nStepDepth == 0 && m_session.m_bDeferred) {
            m_session.m_bDeferred = false;
            m_session.Wake();
        }
    }
    StepScope(const StepScope&) = delete;
    StepScope& operator=(const StepScope&) = delete;

private:
    TransferSession& m_session;
};

TransferSession::TransferSession(CommSettings& settings, std::unique_ptr<ITransferPort> port, QObject* parent)
    : QObject(parent), m_settings(settings) {
    qRegisterMetaType<quorlin::ProgressKind>();
    qRegisterMetaType<quorlin::MessageBoxIcon>();
    if (m_wake.IsValid()) {
        connect(&m_wake, &GuiWakeUp::woken, this, &TransferSession::OnWakeUp);
    } else {
        qWarning("Quorlin: no eventfd for the port's messages; polling the queue every %d ms", kQueuePollMs);
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, &TransferSession::OnWakeUp);
        poll->start(kQueuePollMs);
    }
    if (!port) port = std::make_unique<SerialTransferPort>();
    m_engine = std::make_unique<TransferEngine>(static_cast<ITransferHost&>(*this), std::move(port));
}

TransferSession::~TransferSession() {
    // The engine stops the port's threads; only then may the queue go.
    m_engine.reset();
}

// ---- Entry operations: each is a step ----

bool TransferSession::OpenPort() {
    StepScope step(*this);
    return m_engine->OpenPort();
}

void TransferSession::ClosePort() {
    StepScope step(*this);
    m_engine->ClosePort();
}

void TransferSession::SendFile(const QString& path) {
    StepScope step(*this);
    m_engine->SendFile(LocalPath(path));
}

void TransferSession::SendCurrentFile(const QByteArray& text, const QString& path) {
    StepScope step(*this);
    m_engine->SendCurrentFile(text.toStdString(), LocalPath(path));
}

void TransferSession::ReceiveFile(const QString& path) {
    StepScope step(*this);
    m_engine->ReceiveFile(LocalPath(path));
}

void TransferSession::DownloadFile(const QString& path, DownloadKind downloadKind) {
    StepScope step(*this);
    m_engine->DownloadFile(LocalPath(path), downloadKind);
}

void TransferSession::OnSendDlgCancel() {
    StepScope step(*this);
    m_engine->OnSendDlgCancel();
}

void TransferSession::OnReceiveDlgCancel() {
    StepScope step(*this);
    m_engine->OnReceiveDlgCancel();
}

void TransferSession::CancelRunningTransfer() {
    if (!m_engine->IsTransferring()) return;
    StepScope step(*this);
    if (m_engine->TransferKindNow() == TransferKind::ReceiveFile)
        m_engine->OnReceiveDlgCancel();
    else
        m_engine->OnSendDlgCancel();
    DestroyProgress();
}

void TransferSession::FlushPortBeforeExit() { m_engine->FlushPort(); }

void TransferSession::ClearAll() { ClearLog(); }

bool TransferSession::IsBusy() const { return m_settings.busy != 0; }

// ---- The port's messages ----

void TransferSession::Post(unsigned message, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(Message{message, wParam, lParam});
    }
    Wake();
}

void TransferSession::Wake() { m_wake.Signal(); }  // without one, the poll timer looks

size_t TransferSession::PendingMessages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size();
}

// Hands the engine the messages that were queued when the wake-up came, one
// step each; messages posted meanwhile (a large input re-posts itself) get
// a wake-up of their own, so that painting and input interleave with them.
void TransferSession::OnWakeUp() {
    if (m_nStepDepth > 0) {
        m_bDeferred = true;
        emit messagesDeferred();
        return;
    }
    size_t budget = PendingMessages();
    while (budget-- > 0) {
        Message next;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_queue.empty()) return;
            next = m_queue.front();
            m_queue.pop_front();
        }
        StepScope step(*this);
        Dispatch(next.message, next.wParam, next.lParam);
    }
    if (PendingMessages() > 0) Wake();
}

void TransferSession::Dispatch(unsigned message, uintptr_t wParam, intptr_t lParam) {
    m_engine->HandleMessage(message, wParam, lParam);
}

// ---- The host's side of the engine ----

void TransferSession::EraseLogFront(size_t count) {
    const int viewCount = m_log.EraseFront(count);
    emit logFrontErased(viewCount);
}

void TransferSession::AppendLogText(std::string_view text) {
    if (text.empty()) return;
    emit logAppended(m_log.Append(text));
}

void TransferSession::ClearLog() {
    m_log.Clear();
    emit logCleared();
}

void TransferSession::SetBusy(bool busy) {
    const int32_t value = busy ? 1 : 0;
    if (m_settings.busy == value) return;
    m_settings.busy = value;
    emit busyChanged(busy);
}

void TransferSession::CreateProgress(ProgressKind kind, const std::string& portText, const std::string& systemText,
                                     const std::string& path) {
    emit progressCreated(kind, QString::fromStdString(portText), QString::fromStdString(systemText),
                         FromLocal(path));
}

void TransferSession::SetProgressRange(uint64_t total) { emit progressRangeChanged(total); }
void TransferSession::SetProgressPos(uint64_t position) { emit progressPosChanged(position); }
void TransferSession::SetByteCount(uint64_t count) { emit byteCountChanged(count); }
void TransferSession::DestroyProgress() { emit progressDestroyed(); }

void TransferSession::ShowMessage(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
    emit messageRequested(QString::fromStdString(text), QString::fromStdString(caption), icon, QString());
}

void TransferSession::ShowPortOpenFailure(const std::string& text, const std::string& caption,
                                          const PortFailure& why) {
    emit messageRequested(QString::fromStdString(text), QString::fromStdString(caption), MessageBoxIcon::Error,
                          QString::fromStdString(PortFailureAdvice(why)));
}

void TransferSession::ShowFileOpenFailure(const std::string& text, const std::string& caption,
                                          const std::string& why) {
    emit messageRequested(QString::fromStdString(text), QString::fromStdString(caption), MessageBoxIcon::Error,
                          QString::fromStdString(why));
}

}  // namespace quorlin
