// The log and the start and end of a transfer.

#include <algorithm>
#include <cstdio>
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
    m_record.start = LineClock::Clock::now();

    const char* message = texts::kBeginSendFile;
    switch (kind) {
        case BeginSendFile: m_nTransferKind = KindSendFile; break;
        case BeginSendDocument:
            m_nTransferKind = KindSendDocument;
            message = texts::kBeginSendCurrent;
            break;
        case BeginSendFileText: m_nTransferKind = KindSendDocument; break;
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
        case EndSendStoppedByController: message = texts::kSendStoppedByController; break;
        case EndDownloadRejected: message = texts::kDownloadRejected; break;
        default: break;
    }
    // A receive that did not complete keeps what came beside the old program.
    if (m_nTransferKind == KindReceiveFile && m_record.keptAs.empty() && m_programOut.WritesBeside() &&
        m_programOut.Offset() > 0)
        m_record.keptAs = m_programOut.WritingPath();
    if (m_nTransferKind != KindSendDocument) {
        m_programIn.Close();
        m_programOut.Close();
        m_imageIn.Close();
    }
    AppendLog(message);
    AppendSummary(result);
    m_record = TransferRecord{};  // the next transfer counts from nothing
    m_strSendText.clear();
    m_host.SetBusy(false);
    m_nTransferKind = KindIdle;
    m_pTransferBuffer.reset();
    m_nLastEndResult = result;
}

namespace {

template <typename... Args>
std::string Formatted(const char* pattern, Args... args) {
    char text[512];
    const int length = std::snprintf(text, sizeof text, pattern, args...);
    return length <= 0 ? std::string() : std::string(text, std::min<size_t>(static_cast<size_t>(length), sizeof text - 1));
}

}  // namespace

void TransferEngine::AppendSummary(unsigned result) {
    const auto now = LineClock::Clock::now();
    const bool receiving = m_nTransferKind == KindReceiveFile;
    std::string line = m_strTransferPath.empty() ? std::string(texts::kSummaryDocument)
                                                 : Formatted(texts::kSummaryFile, m_strTransferPath.c_str());
    const uint64_t bytes = receiving ? m_record.storedBytes : m_record.lineBytes;
    line += Formatted(receiving ? texts::kSummaryReceived : texts::kSummarySent,
                      static_cast<unsigned long long>(bytes));
    if (!receiving && !IsCompletedResult(result))
        line += Formatted(texts::kSummaryOfFile, static_cast<unsigned long long>(m_record.filePos),
                          static_cast<unsigned long long>(m_record.fileTotal));
    if (m_nProtocol == ProtocolDownload && m_nDownloadKind >= 3) {
        line += Formatted(texts::kSummaryBlocks, static_cast<unsigned long long>(m_record.blocks));
        line += FinalVerdict() < 0 ? std::string(texts::kSummaryNoVerdict)
                                   : Formatted(texts::kSummaryVerdict, FinalVerdict());
    }
    if (!m_record.keptAs.empty()) line += Formatted(texts::kSummaryKeptAs, m_record.keptAs.c_str());
    // A port that shows no output queue has taken the bytes long before the
    // line carried them: a completed send took at least its line time.
    const auto end = receiving || !IsCompletedResult(result) ? now : std::max(now, m_lineClock.FreeAt());
    const double seconds = std::chrono::duration<double>(end - m_record.start).count();
    const auto rate = static_cast<unsigned long long>(seconds > 0 ? static_cast<double>(bytes) / seconds : 0);
    line += Formatted(texts::kSummaryTime, seconds, rate);
    AppendLog(line.c_str());
}

}  // namespace quorlin
