// Sending an NC program: a file or the open document, with the Echo, Block
// or Xon protocol of the controller family.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "serial/SerialPort.h"
#include "transfer/LineControl.h"
#include "transfer/LinePieces.h"
#include "transfer/TextRules.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferTexts.h"

namespace quorlin {

namespace {
// Lines are added to an Xon block while it holds at most this many bytes.
constexpr size_t kXonBlockFill = 4063;
// A block and its terminator must fit the port's write buffer; a longer
// line is split over blocks, each but the last ended by ESC.
constexpr size_t kXonBlockMax = kTransferWriteBuffer - 1;
}  // namespace

void TransferEngine::SendFile(const std::string& path) {
    if (!OpenPort() || !FileOpened(m_programIn.Open(path))) return;
    m_strTransferPath = path;
    CreateProgressWindow(ProgressKind::Sending, path);
    PrepareProgramLine();
    BeginTransfer(BeginKind::SendFile);
    m_host.SetByteCount(0);
    SetSendTotal(m_programIn.Length());
    StartSendProtocol();
}

void TransferEngine::SendCurrentFile(const std::string& text, const std::string& path) {
    SendText(text, path, BeginKind::SendDocument, {});
}

void TransferEngine::SendFrom(const ResumeSend& send) {
    char note[160];
    if (send.blockWord.empty())
        std::snprintf(note, sizeof note, texts::kSendFromLine, send.line);
    else
        std::snprintf(note, sizeof note, texts::kSendFromBlock, send.blockWord.substr(0, 64).c_str(), send.line);
    SendText(send.text, send.path, send.ofDocument ? BeginKind::SendDocument : BeginKind::SendFileText, note);
}

void TransferEngine::SendText(const std::string& text, const std::string& path, BeginKind begin,
                              const std::string& note) {
    if (!OpenPort()) return;
    m_strTransferPath = path;
    CreateProgressWindow(ProgressKind::Sending, path);
    PrepareProgramLine();
    BeginTransfer(begin);
    if (!note.empty()) AppendLog(note.c_str());
    // NULs are tape fill, skipped as a file's are: a trailer of them would
    // otherwise be an Xon line of its own.
    m_strSendText = text;
    m_strSendText.erase(std::remove(m_strSendText.begin(), m_strSendText.end(), '\0'), m_strSendText.end());
    m_nBufferLength = static_cast<int64_t>(m_strSendText.size());
    SetSendTotal(static_cast<uint64_t>(m_nBufferLength));
    m_host.SetByteCount(0);
    m_nBufferPos = 0;
    StartSendProtocol();
}

void TransferEngine::StartSendProtocol() {
    switch (m_nProtocol) {
        case Protocol::Echo: SendNextChar(); break;
        case Protocol::Xon: break;  // the line is set; the controller starts with DC1
        case Protocol::Block: OnSerialTxEmpty(); break;
        default: break;
    }
}

// Xon's line settings are applied before the start is logged: Init empties
// both queues, so a DC1 or program bytes that the controller sends once it
// sees the transfer begin must not arrive before it.
void TransferEngine::PrepareProgramLine() {
    if (ProgramProtocol(m_host.Settings().sysType) != Protocol::Xon) return;
    InitLine(static_cast<unsigned>(m_host.Settings().baud), 'o', 7, 1, HandshakeNone, EV_RXCHAR);
}

void TransferEngine::FinishSend() {
    EndTransfer(m_nTransferKind == TransferKind::SendDocument ? EndResult::SendDocumentCompleted : EndResult::SendFileCompleted);
    DestroyProgressWindow();
}

// ---- Echo: one character per answer of the controller ----

void TransferEngine::SendNextChar() {
    if (m_nTransferKind == TransferKind::SendFile)
        SendNextCharFile();
    else if (m_nTransferKind == TransferKind::SendDocument)
        SendNextCharDocument();
}

void TransferEngine::SendNextCharFile() {
    for (int c = m_programIn.Get(); c >= 0; c = m_programIn.Get()) {
        if (!IsDataChar(static_cast<uint8_t>(c))) continue;
        const char ch = UpperAscii(static_cast<char>(c));
        if (ch == kLF && m_cLastFileChar == kLF) continue;
        if (!WriteToLine(&ch, 1)) return;
        m_cLastFileChar = ch;
        ReportSendProgress(m_programIn.Offset());
        return;
    }
    if (m_programIn.Failed()) {
        FailTransfer(EndResult::SendReadFailed, texts::kSendReadFailedMessage);
        return;
    }
    if (m_cLastFileChar == kLF) {
        if (WriteToLine(&kSUB, 1)) FinishSend();
    } else if (WriteToLine(&kLF, 1)) {
        m_cLastFileChar = kLF;
    }
}

void TransferEngine::SendNextCharDocument() {
    while (m_nBufferPos < m_nBufferLength) {
        const char c = m_strSendText[static_cast<size_t>(m_nBufferPos++)];
        if (!IsDataChar(static_cast<uint8_t>(c))) continue;
        const char ch = UpperAscii(c);
        if (ch == kLF && m_cLastDocumentChar == kLF) continue;
        if (!WriteToLine(&ch, 1)) return;
        m_cLastDocumentChar = ch;
        ReportSendProgress(static_cast<uint64_t>(m_nBufferPos));
        return;
    }
    if (m_cLastDocumentChar == kLF) {
        if (WriteToLine(&kSUB, 1)) FinishSend();
    } else if (WriteToLine(&kLF, 1)) {
        m_cLastDocumentChar = kLF;
    }
}

// ---- Block: one cleaned piece of kLinePiece per empty transmit queue ----

void TransferEngine::SendNextBlock() {
    if (m_nTransferKind == TransferKind::SendFile)
        SendNextBlockFile();
    else if (m_nTransferKind == TransferKind::SendDocument)
        SendNextBlockDocument();
}

// A piece that cleans to nothing writes nothing, and so no empty transmit
// queue would follow it: the next piece is taken at once instead.
void TransferEngine::SendNextBlockFile() {
    for (;;) {
        std::string piece(kLinePiece, '\0');
        const size_t got = m_programIn.Read(piece.data(), kLinePiece);
        if (got == 0) {
            if (m_programIn.Failed()) {
                FailTransfer(EndResult::SendReadFailed, texts::kSendReadFailedMessage);
                return;
            }
            const char tail[2] = {kLF, kSUB};
            if (WriteToLine(tail, 2)) FinishSend();
            return;
        }
        piece.resize(got);
        NormalizeText(piece);
        if (piece.empty()) continue;
        if (!WriteToLine(piece.data(), static_cast<uint32_t>(piece.size()))) return;
        ReportSendProgress(m_programIn.Offset());
        return;
    }
}

void TransferEngine::SendNextBlockDocument() {
    for (;;) {
        if (m_nBufferPos >= m_nBufferLength) {
            const char tail[2] = {kLF, kSUB};
            if (WriteToLine(tail, 2)) FinishSend();
            return;
        }
        std::string piece = m_strSendText.substr(static_cast<size_t>(m_nBufferPos), kLinePiece);
        // Stops at the text's end, so the count never runs past the length.
        m_nBufferPos = std::min<int64_t>(m_nBufferPos + static_cast<int64_t>(kLinePiece), m_nBufferLength);
        NormalizeText(piece);
        if (piece.empty()) continue;
        if (!WriteToLine(piece.data(), static_cast<uint32_t>(piece.size()))) return;
        ReportSendProgress(static_cast<uint64_t>(m_nBufferPos));
        return;
    }
}

// ---- Xon: one block of whole lines per DC1 ----

// The next cleaned line with its LF (a document's last line gets one when it
// has none); false when the text has no line left.
bool TransferEngine::TakeNextXonLine(std::string& line) {
    if (!m_strXonCarry.empty()) {
        line.swap(m_strXonCarry);
        m_strXonCarry.clear();
        return true;
    }
    if (m_nTransferKind == TransferKind::SendFile) {
        if (!m_programIn.ReadLine(line)) return false;
        CleanXonLine(line);
        line.push_back(kLF);
        return true;
    }
    if (m_nBufferPos >= m_nBufferLength) return false;
    const size_t start = static_cast<size_t>(m_nBufferPos);
    const size_t lf = m_strSendText.find(kLF, start);
    if (lf == std::string::npos) {
        line = m_strSendText.substr(start);
        m_nBufferPos = m_nBufferLength;
        CleanXonLine(line);
        line.push_back(kLF);
    } else {
        line = m_strSendText.substr(start, lf + 1 - start);
        m_nBufferPos = static_cast<int64_t>(lf + 1);
        CleanXonLine(line);
    }
    return true;
}

void TransferEngine::SendNextLines(bool stop) {
    if (stop) {
        // The bytes on the line stay as the controller left them; the person
        // must know that the program did not arrive whole.
        FailTransfer(EndResult::SendStoppedByController,
                     FormatWithNumber(texts::kSendStoppedMessage, static_cast<long>(m_record.lineBytes)));
        return;
    }
    if (!m_pTransferBuffer) m_pTransferBuffer.reset(new uint8_t[kDownloadBlockSize]());
    uint8_t* block = m_pTransferBuffer.get();
    size_t length = 0;
    bool finished = false;
    do {
        // A document's last line without LF ends the text with it.
        const bool lastDocumentLine = m_nTransferKind == TransferKind::SendDocument && m_strXonCarry.empty() &&
                                      m_nBufferPos < m_nBufferLength &&
                                      m_strSendText.find(kLF, static_cast<size_t>(m_nBufferPos)) == std::string::npos;
        std::string line;
        if (!TakeNextXonLine(line)) {
            finished = true;
            break;
        }
        const size_t room = kXonBlockMax - length;
        if (line.size() > room) {
            std::memcpy(block + length, line.data(), room);
            length += room;
            m_strXonCarry = line.substr(room);
            break;
        }
        std::memcpy(block + length, line.data(), line.size());
        length += line.size();
        if (lastDocumentLine) finished = true;
    } while (!finished && length <= kXonBlockFill);

    if (m_nTransferKind == TransferKind::SendFile && m_programIn.Failed()) {
        FailTransfer(EndResult::SendReadFailed, texts::kSendReadFailedMessage);
        return;
    }
    block[length] = static_cast<uint8_t>(finished ? kSUB : kESC);
    if (!WriteToLine(block, static_cast<uint32_t>(length + 1))) return;
    ReportSendProgress(m_nTransferKind == TransferKind::SendFile ? m_programIn.Offset()
                                                        : static_cast<uint64_t>(m_nBufferPos));
    if (finished) {
        EndTransfer(EndResult::SendFileCompleted);
        DestroyProgressWindow();
    }
}

}  // namespace quorlin
