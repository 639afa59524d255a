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

void TransferEngine::BeginTransfer(BeginKind kind) {
    m_host.ClearLog();
    AppendLog(FormatLogTimestamp(std::time(nullptr)).c_str());
    const bool wasTransferring = IsTransferring();
    m_nProtocol = ProgramProtocol(m_host.Settings().sysType);
    m_nLastEndResult = EndResult::None;
    m_strXonCarry.clear();
    // What goes out queues behind whatever an earlier transfer still has on
    // the line (a pty or an adapter without an output queue takes a whole
    // download at once): this transfer's clock starts when its first byte
    // can leave, not when the last one's bytes were handed over.
    const auto now = LineClock::Clock::now();
    m_record.start = kind == BeginKind::Receive ? now : std::max(now, m_lineClock.FreeAt());

    const char* message = texts::kBeginSendFile;
    switch (kind) {
        case BeginKind::SendFile: m_nTransferKind = TransferKind::SendFile; break;
        case BeginKind::SendDocument:
            m_nTransferKind = TransferKind::SendDocument;
            message = texts::kBeginSendCurrent;
            break;
        case BeginKind::SendFileText: m_nTransferKind = TransferKind::SendDocument; break;
        case BeginKind::Receive:
            m_nTransferKind = TransferKind::ReceiveFile;
            message = texts::kBeginReceive;
            break;
        case BeginKind::Download:
            m_nProtocol = Protocol::Download;
            m_nTransferKind = TransferKind::SendFile;
            // Zero-filled, so that a first block shorter than the buffer carries
            // zeros behind the file's bytes.
            m_pTransferBuffer.reset(new uint8_t[kDownloadBlockSize]());
            m_nBufferPos = kDownloadBlockSize;
            m_nBufferLength = kDownloadBlockSize;
            break;
        default: break;
    }
    AppendLog(message);
    if (IsTransferring() != wasTransferring) m_host.BusyChanged(IsTransferring());
}

void TransferEngine::EndTransfer(EndResult result) {
    if (m_nTransferKind == TransferKind::Idle) return;
    AppendLog(FormatLogTimestamp(std::time(nullptr)).c_str());
    const char* message = texts::kSendCompleted;
    switch (result) {
        case EndResult::SendFileCompleted:
        case EndResult::SendDocumentCompleted: message = texts::kSendCompleted; break;
        case EndResult::ReceiveCompleted: message = texts::kReceiveCompleted; break;
        case EndResult::SendCancelled: message = texts::kSendCancelled; break;
        case EndResult::ReceiveCancelled: message = texts::kReceiveCancelled; break;
        case EndResult::PortLost: message = texts::kPortLost; break;
        case EndResult::ReceiveWriteFailed: message = texts::kReceiveWriteFailed; break;
        case EndResult::SendReadFailed: message = texts::kSendReadFailed; break;
        case EndResult::WriteRefused: message = texts::kWriteRefused; break;
        case EndResult::SendStoppedByController: message = texts::kSendStoppedByController; break;
        case EndResult::DownloadRejected: message = texts::kDownloadRejected; break;
        default: break;
    }
    // A receive that did not complete keeps what came beside the old program.
    if (m_nTransferKind == TransferKind::ReceiveFile && m_record.keptAs.empty() && m_programOut.WritesBeside() &&
        m_programOut.Offset() > 0)
        m_record.keptAs = m_programOut.WritingPath();
    if (m_nTransferKind != TransferKind::SendDocument) {
        m_programIn.Close();
        m_programOut.Close();
        m_imageIn.Close();
    }
    AppendLog(message);
    // A port on a device server that has not come up (or never will) has
    // put nothing on the line, whatever it was given.
    if (m_port->IsConnecting() || m_port->LastOpenFailure().kind != PortFailureKind::None) {
        m_record.lineBytes = 0;
        m_record.filePos = 0;
        m_record.blocks = 0;
    }
    AppendSummary(result);
    m_record = TransferRecord{};  // the next transfer counts from nothing
    m_strSendText.clear();
    m_nTransferKind = TransferKind::Idle;
    m_pTransferBuffer.reset();
    m_nLastEndResult = result;
    m_host.BusyChanged(false);
}

namespace {

template <typename... Args>
std::string Formatted(const char* pattern, Args... args) {
    char text[512];
    const int length = std::snprintf(text, sizeof text, pattern, args...);
    return length <= 0 ? std::string() : std::string(text, std::min<size_t>(static_cast<size_t>(length), sizeof text - 1));
}

}  // namespace

void TransferEngine::AppendSummary(EndResult result) {
    const auto now = LineClock::Clock::now();
    const bool receiving = m_nTransferKind == TransferKind::ReceiveFile;
    std::string line = m_strTransferPath.empty() ? std::string(texts::kSummaryDocument)
                                                 : Formatted(texts::kSummaryFile, m_strTransferPath.c_str());
    const uint64_t bytes = receiving ? m_record.storedBytes : m_record.lineBytes;
    line += Formatted(receiving ? texts::kSummaryReceived : texts::kSummarySent,
                      static_cast<unsigned long long>(bytes));
    if (!receiving && !IsCompletedResult(result))
        line += Formatted(texts::kSummaryOfFile, static_cast<unsigned long long>(m_record.filePos),
                          static_cast<unsigned long long>(m_record.fileTotal));
    if (m_nProtocol == Protocol::Download && GoesInBlocks(m_nDownloadKind)) {
        line += Formatted(texts::kSummaryBlocks, static_cast<unsigned long long>(m_record.blocks));
        line += FinalVerdict() < 0 ? std::string(texts::kSummaryNoVerdict)
                                   : Formatted(texts::kSummaryVerdict, FinalVerdict());
    }
    if (!m_record.keptAs.empty()) line += Formatted(texts::kSummaryKeptAs, m_record.keptAs.c_str());
    // A port that shows no output queue has taken the bytes long before the
    // line carried them: a completed send took at least its line time.
    const auto end = receiving || !IsCompletedResult(result) ? now : std::max(now, m_lineClock.FreeAt());
    // No line carries bytes faster than its rate: a far end that reads a
    // pty at once answers a block before the line could have carried it.
    const auto took = std::max<LineClock::Clock::duration>(end - m_record.start, m_lineClock.TimeFor(bytes));
    const double seconds = std::chrono::duration<double>(took).count();
    const auto rate = static_cast<unsigned long long>(seconds > 0 ? static_cast<double>(bytes) / seconds : 0);
    line += Formatted(texts::kSummaryTime, seconds, rate);
    AppendLog(line.c_str());
}

}  // namespace quorlin
