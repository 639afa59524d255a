// Receiving an NC program that the controller sends, up to its SUB.

#include <string>

#include "transfer/LineControl.h"
#include "transfer/SystemType.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferTexts.h"

namespace quorlin {

namespace {
// The most bytes kept between a completed receive and the next: some
// seconds of any line, far more than come in the few reads between them.
constexpr size_t kKeptInputLimit = 64 * 1024;
}  // namespace

void TransferEngine::ReceiveFile(const std::string& path) {
    if (!OpenPort() || !FileOpened(m_programOut.Open(path))) return;
    m_strTransferPath = path;
    CreateProgressWindow(ProgressKind::Receiving, path);
    PrepareProgramLine();
    m_host.SetByteCount(0);
    BeginTransfer(BeginKind::Receive);
}

void TransferEngine::ReceiveNext(const std::string& path) {
    if (!m_bReceiveInputKept || IsTransferring() || !m_port->IsOpen()) {
        ReceiveFile(path);
        return;
    }
    // The line keeps the settings of the receive before (an Xon receive's
    // too): setting them again would empty the port's input.
    if (!FileOpened(m_programOut.Open(path))) return;
    m_bReceiveInputKept = false;
    m_strTransferPath = path;
    CreateProgressWindow(ProgressKind::Receiving, path);
    m_host.SetByteCount(0);
    BeginTransfer(BeginKind::Receive);
    // The kept bytes are taken as a message's read is, in the host's next
    // turn: a program wholly among them then completes the way one that
    // streams in does, never inside this call.
    if (!m_strReceiveInput.empty()) m_host.Post(WM_SERIAL_RXDATA, m_host.Settings().GetPortNumber(), 0);
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
    m_strReceiveInput.append(chunk, count);
    // The program ends at its SUB. What follows it in the same read is not
    // part of it: a controller that sends several programs at once has
    // begun the next, which stays in the input for the next receive.
    const size_t sub = m_strReceiveInput.find(kSUB);
    const bool sawSub = sub != std::string::npos;
    const size_t end = sawSub ? sub : m_strReceiveInput.size();
    // NUL bytes are line fill (paper-tape leaders and trailers), not program:
    // they are skipped, and everything behind them is stored.
    std::string text;
    text.reserve(end);
    for (size_t i = 0; i < end; ++i)
        if (m_strReceiveInput[i] != '\0') text.push_back(m_strReceiveInput[i]);
    m_strReceiveInput.erase(0, sawSub ? sub + 1 : end);
    if (!StoreBytes(text.data(), text.size())) return;
    m_host.SetByteCount(m_programOut.Offset());
    if (sawSub) FinishReceive();
}

void TransferEngine::KeepIdleInput(const char* chunk, size_t count) {
    if (!m_bReceiveInputKept) return;
    // A host that takes the next program begins its receive in the same
    // turn as the end of the last, so only a few reads come between. One
    // that does not (the desktop program, which opens the port again for
    // every transfer) must not let a talkative controller fill its memory.
    if (m_strReceiveInput.size() + count > kKeptInputLimit) {
        DropReceiveInput();
        return;
    }
    m_strReceiveInput.append(chunk, count);
}

void TransferEngine::DropReceiveInput() {
    m_strReceiveInput.clear();
    m_strReceiveInput.shrink_to_fit();
    m_bReceiveInputKept = false;
}

void TransferEngine::FinishReceive() {
    const std::string receivedIn = m_programOut.WritingPath();
    if (!m_programOut.Commit()) {
        m_record.keptAs = receivedIn;
        FailTransfer(EndResult::ReceiveWriteFailed, texts::kReceiveWriteFailedMessage);
        return;
    }
    m_bReceiveInputKept = true;
    EndTransfer(EndResult::ReceiveCompleted);
    DestroyProgressWindow();
}

}  // namespace quorlin
