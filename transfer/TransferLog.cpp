// The log and the start and end of a transfer.

#include <cstring>
#include <ctime>

#include "transfer/TextRules.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferTexts.h"

namespace quorlin {

namespace {
constexpr size_t kLogTrimAbove = 64000;
constexpr size_t kLogTrimCount = 10000;
}  // namespace

void TransferEngine::AppendLog(const char* text) {
    if (m_host.LogLength() > kLogTrimAbove) m_host.EraseLogFront(kLogTrimCount);
    m_host.AppendLogText(std::string_view(text, std::strlen(text)));
}

void TransferEngine::BeginTransfer(unsigned kind) {
    m_host.ClearLog();
    AppendLog(FormatLogTimestamp(std::time(nullptr)).c_str());
    m_host.SetBusy(true);
    const int sysType = m_host.Settings().sysType;
    m_nProtocol = ProtocolForFamily(sysType);
    m_nLastEndResult = EndNone;
    m_strXonCarry.clear();

    const char* message = texts::kBeginSendFile;
    switch (kind) {
        case BeginSendFile: m_nTransferKind = KindSendFile; break;
        case BeginSendDocument:
            m_nTransferKind = KindSendDocument;
            message = texts::kBeginSendCurrent;
            break;
        case BeginReceive:
            m_nTransferKind = KindReceiveFile;
            message = texts::kBeginReceive;
            break;
        case BeginDownload:
            m_nProtocol = ProtocolDownload;
            m_nTransferKind = KindSendFile;
            // Zero-filled, so that a first block shorter than the buffer carries
            // zeros behind the file's bytes.
            m_pTransferBuffer.reset(new uint8_t[kDownloadBlockSize]());
            m_nBufferPos = kDownloadBlockSize;
            m_nBufferLength = kDownloadBlockSize;
            break;
        default: break;
    }
    AppendLog(message);
}

void TransferEngine::EndTransfer(unsigned result) {
    if (m_nTransferKind == KindIdle) return;
    AppendLog(FormatLogTimestamp(std::time(nullptr)).c_str());
    const char* message = texts::kSendCompleted;
    switch (result) {
        case EndSendFileCompleted:
        case EndSendDocumentCompleted: message = texts::kSendCompleted; break;
        case EndReceiveCompleted: message = texts::kReceiveCompleted; break;
        case EndSendCancelled: message = texts::kSendCancelled; break;
        case EndReceiveCancelled: message = texts::kReceiveCancelled; break;
        case EndPortLost: message = texts::kPortLost; break;
        case EndReceiveWriteFailed: message = texts::kReceiveWriteFailed; break;
        case EndSendReadFailed: message = texts::kSendReadFailed; break;
        case EndWriteRefused: message = texts::kWriteRefused; break;
        default: break;
    }
    if (m_nTransferKind != KindSendDocument) {
        m_programIn.Close();
        m_programOut.Close();
        m_imageIn.Close();
    }
    AppendLog(message);
    m_strSendText.clear();
    m_host.SetBusy(false);
    m_nTransferKind = KindIdle;
    m_pTransferBuffer.reset();
    m_nLastEndResult = result;
}

}  // namespace quorlin
