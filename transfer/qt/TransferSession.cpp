#include "transfer/qt/TransferSession.h"

#include <QFile>

#include "transfer/SerialTransferPort.h"
#include "transfer/TransferEngine.h"

namespace quorlin {

namespace {
std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
}  // namespace

TransferSession::TransferSession(CommSettings& settings, std::unique_ptr<ITransferPort> port, QObject* parent)
    : QObject(parent), m_settings(settings) {
    if (!port) port = std::make_unique<SerialTransferPort>();
    m_engine = std::make_unique<TransferEngine>(static_cast<ITransferHost&>(*this), std::move(port));
}

TransferSession::~TransferSession() = default;

bool TransferSession::OpenPort() { return m_engine->OpenPort(); }
void TransferSession::ClosePort() { m_engine->ClosePort(); }
void TransferSession::SendFile(const QString& path) { m_engine->SendFile(LocalPath(path)); }
void TransferSession::SendCurrentFile(const QByteArray& text, const QString& path) {
    m_engine->SendCurrentFile(text.toStdString(), LocalPath(path));
}
void TransferSession::ReceiveFile(const QString& path) { m_engine->ReceiveFile(LocalPath(path)); }
void TransferSession::DownloadFile(const QString& path, int downloadKind) {
    m_engine->DownloadFile(LocalPath(path), downloadKind);
}
bool TransferSession::IsBusy() const { return m_settings.busy != 0; }

// Placeholders until the log, the progress dialogs and the event queue are
// wired to the views.
size_t TransferSession::LogLength() const { return 0; }
void TransferSession::EraseLogFront(size_t) {}
void TransferSession::AppendLogText(std::string_view) {}
void TransferSession::ClearLog() {}
void TransferSession::SetBusy(bool busy) {
    m_settings.busy = busy ? 1 : 0;
    emit busyChanged(busy);
}
void TransferSession::CreateProgress(ProgressKind, const std::string&, const std::string&, const std::string&) {}
void TransferSession::SetProgressRange(uint64_t) {}
void TransferSession::SetProgressPos(uint64_t) {}
void TransferSession::SetByteCount(uint64_t) {}
void TransferSession::DestroyProgress() {}
void TransferSession::ShowMessage(const std::string&, const std::string&, MessageBoxIcon) {}
void TransferSession::Post(unsigned, uintptr_t, intptr_t) {}

}  // namespace quorlin
