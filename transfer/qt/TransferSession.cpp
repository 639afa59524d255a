#include "transfer/qt/TransferSession.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <QtGlobal>

#include "transfer/HostPace.h"
#include "transfer/PortFailureText.h"
#include "transfer/SerialTransferPort.h"
#include "transfer/TransferEngine.h"

namespace quorlin {

namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromLocal(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }

// Without the pump's wake-up (the process ran out of descriptors) the queue
// is looked at this often instead, so a transfer still moves.
constexpr int kQueuePollMs = 10;

// How long one wake-up may hand the engine messages before the event loop
// gets its turn: well under what a person notices when a menu opens.
constexpr std::chrono::milliseconds kRoundBudget{5};

}  // namespace

// Marks a step: while one runs, port messages wait. When the outermost step
// ends, a wake-up that came during it is made good.
class TransferSession::StepScope {
public:
    explicit StepScope(TransferSession& session) : m_session(session) { ++m_session.m_nStepDepth; }
    ~StepScope() {
        if (--m_session.m_nStepDepth == 0 && m_session.m_bDeferred) {
            m_session.m_bDeferred = false;
            m_session.m_pump.Wake().Signal();  // without one, the poll timer looks
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
    if (m_pump.Wake().IsValid()) {
        m_pumpNotifier = std::make_unique<QSocketNotifier>(m_pump.Wake().NativeHandle(), QSocketNotifier::Read);
        connect(m_pumpNotifier.get(), &QSocketNotifier::activated, this, &TransferSession::OnWakeUp);
        m_pump.Park();
        m_heldTake.setSingleShot(true);
        m_heldTake.setTimerType(Qt::PreciseTimer);
        connect(&m_heldTake, &QTimer::timeout, this, &TransferSession::OnWakeUp);
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
    // The engine stops the port's threads; only then may the pump go.
    m_engine.reset();
    m_pumpNotifier.reset();
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

void TransferSession::SendFrom(const QByteArray& text, const QString& path, const std::string& blockWord, long line) {
    StepScope step(*this);
    m_engine->SendFrom(ResumeSend{text.toStdString(), LocalPath(path), true, blockWord, line});
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
    const bool receiving = m_engine->IsTransferring();
    TakeHeldMessages();
    if (receiving && !m_engine->IsTransferring()) return;  // what it took ended the receive
    StepScope step(*this);
    m_engine->OnReceiveDlgCancel();
}

// What came while wake-ups were held came before the cancel: it is stored
// first, as it would have been without the hold.
void TransferSession::TakeHeldMessages() {
    if (m_nStepDepth == 0 && m_pump.HeldUntil()) OnWakeUp();
}

void TransferSession::CancelRunningTransfer() {
    TakeHeldMessages();
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

bool TransferSession::IsBusy() const { return m_engine && m_engine->IsTransferring(); }

// ---- The port's messages ----

void TransferSession::Post(unsigned message, uintptr_t wParam, intptr_t lParam) {
    m_pump.Post({message, wParam, lParam});
}

// Takes everything queued and hands it to the engine, one step each, and
// again while more comes, for up to kRoundBudget; what is left then gets a
// wake-up of its own, so that painting and input interleave with a flood.
// The pump is parked again before each batch is handled: messages posted
// meanwhile wake the notifier once more, and a step's message box sees them
// arrive (and hold back) in its own event loop. A streaming receive holds
// the wake-ups of what comes after a round for a few milliseconds
// (MessagePump::Pace); m_heldTake takes it then.
void TransferSession::OnWakeUp() {
    m_heldTake.stop();
    m_pump.Wake().Clear();
    if (m_nStepDepth > 0) {
        m_pump.Unpark();
        m_bDeferred = true;
        emit messagesDeferred();
        return;
    }
    const auto roundEnds = MessagePump::Clock::now() + kRoundBudget;
    do {
        m_pump.Unpark();
        for (const MessagePump::Message& message : m_pump.TakeAll()) m_taken.push_back(message);
        m_pump.Park();
        while (!m_taken.empty()) {
            const MessagePump::Message next = m_taken.front();
            m_taken.pop_front();
            StepScope step(*this);
            Dispatch(next.message, next.wParam, next.lParam);
        }
    } while (m_pump.Pending() > 0 && MessagePump::Clock::now() < roundEnds);
    if (m_pump.Pending() > 0) m_pump.Wake().Signal();
    m_pump.SetPace(PaceOf(*m_engine));
    m_pump.Handled();
    if (const auto held = m_pump.HeldUntil())
        m_heldTake.start(std::chrono::ceil<std::chrono::milliseconds>(*held - MessagePump::Clock::now()));
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

void TransferSession::BusyChanged(bool busy) {
    m_settings.busy = busy ? 1 : 0;
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
                                          const FileFailure& why) {
    emit messageRequested(QString::fromStdString(text), QString::fromStdString(caption), MessageBoxIcon::Error,
                          QString::fromStdString(why.text));
}

}  // namespace quorlin
