// Receiving an NC program that the controller sends, up to its SUB.

#include <string>

#include "transfer/LineControl.h"
#include "transfer/SystemType.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferTexts.h"

namespace quorlin {

void TransferEngine::ReceiveFile(const std::string& path) {
    if (!OpenPort() || !FileOpened(m_programOut.Open(path))) return;
    m_strTransferPath = path;
    CreateProgressWindow(ProgressKind::Receiving, path);
    PrepareProgramLine();
    m_host.SetByteCount(0);
    BeginTransfer(BeginKind::Receive);
}

// Stores bytes of the program. When the file cannot take them (disk full),
// the controller is told to stop as on Cancel and the receive ends with a
// message; what was stored before stays in the file.
bool TransferEngine::StoreBytes(const char* bytes, size_t count) {
    if (m_programOut.Write(bytes, count)) {
        m_nActivitySteps += count;
        m_record.storedBytes += count;
        return true;
    }
    m_port->Write(&kSUB, 1);  // the failure below is reported whether or not the port took it
    FailTransfer(EndResult::ReceiveWriteFailed, texts::kReceiveWriteFailedMessage);
    return false;
}

void TransferEngine::StoreReceivedChar(uint8_t b) {
    if (b == static_cast<uint8_t>(kSUB)) {
        FinishReceive();
        return;
    }
    const char c = static_cast<char>(b);
    if (!StoreBytes(&c, 1)) return;
    m_host.SetByteCount(m_programOut.Offset());
}

void TransferEngine::StoreReceivedText(const char* chunk, size_t count) {
    // NUL bytes are line fill (paper-tape leaders and trailers), not program:
    // they are skipped, and everything behind them is stored.
    std::string text;
    bool sawSub = false;
    for (size_t i = 0; i < count; ++i) {
        if (chunk[i] == kSUB)
            sawSub = true;
        else if (chunk[i] != '\0')
            text.push_back(chunk[i]);
    }
    if (!StoreBytes(text.data(), text.size())) return;
    m_host.SetByteCount(m_programOut.Offset());
    if (sawSub) FinishReceive();
}

void TransferEngine::FinishReceive() {
    const std::string receivedIn = m_programOut.WritingPath();
    if (!m_programOut.Commit()) {
        m_record.keptAs = receivedIn;
        FailTransfer(EndResult::ReceiveWriteFailed, texts::kReceiveWriteFailedMessage);
        return;
    }
    EndTransfer(EndResult::ReceiveCompleted);
    DestroyProgressWindow();
}

}  // namespace quorlin
