// The engine's port, its message dispatch and the progress window.

#include "transfer/TransferEngine.h"

#include "serial/SerialPort.h"
#include "transfer/LineControl.h"
#include "transfer/LinePieces.h"
#include "transfer/PortFailureText.h"
#include "transfer/SystemType.h"
#include "transfer/TextRules.h"
#include "transfer/TransferTexts.h"

namespace quorlin {

TransferEngine::TransferEngine(ITransferHost& host, std::unique_ptr<ITransferPort> port)
    : m_host(host), m_port(std::move(port)) {}

TransferEngine::~TransferEngine() {
    // The restore worker must be gone before the port it would configure.
    m_restore.Cancel();
    m_programIn.Close();
    m_programOut.Close();
    m_imageIn.Close();
    m_port.reset();
}

void TransferEngine::Post(unsigned message, uintptr_t wParam, intptr_t lParam) {
    m_host.Post(message, wParam, lParam);
}

bool TransferEngine::OpenPort() {
    m_restore.Cancel();
    DropReceiveInput();  // opening empties the port's queues: what was kept goes with them
    const unsigned number = m_host.Settings().GetPortNumber();
    if (!m_port->Open(this, number, 0)) {
        m_host.ShowPortOpenFailure(FormatWithNumber(texts::kCanNotOpenPort, number), texts::kCaptionError,
                                   ExplainPortChoice(m_host.Settings(), m_port->LastOpenFailure()));
        return false;
    }
    InitLine(StandardLine::kBaud, StandardLine::kParity, StandardLine::kDataBits, StandardLine::kStopBits,
             HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    m_port->StartMonitoring();
    return true;
}

void TransferEngine::InitLine(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits,
                              uint8_t handshake, uint32_t eventMask) {
    m_port->Init(baud, parity, dataBits, stopBits, handshake, eventMask);
    m_lineClock.SetLine(baud, parity, dataBits, stopBits);
}

void TransferEngine::ClosePort() {
    m_restore.Cancel();
    DropReceiveInput();
    m_port->Close();
}

void TransferEngine::HandleMessage(unsigned message, uintptr_t, intptr_t lParam) {
    switch (message) {
        case WM_SERIAL_RXDATA: OnSerialRxData(lParam); break;
        case WM_SERIAL_TXEMPTY: OnSerialTxEmpty(); break;
        case WM_SERIAL_DEVLOST: OnSerialDevLost(); break;
        default: break;
    }
}

void TransferEngine::OnSerialRxData(intptr_t waiting) {
    char buffer[kLinePiece + 1];
    const uint32_t got = m_port->Read(buffer, kLinePiece);
    buffer[got] = '\0';
    AppendLog(buffer);
    // A backlog larger than one read is fetched by later messages; a read that
    // found nothing (the queue was purged or emptied by an earlier message)
    // neither re-posts nor drives a protocol, which would otherwise advance an
    // Echo send without an answer or store a byte that never arrived. A
    // receive that ReceiveNext began with kept bytes is driven all the same:
    // it posted this message to take them.
    const bool keptForReceive = m_nTransferKind == TransferKind::ReceiveFile && !m_strReceiveInput.empty();
    if (got == 0 && !keptForReceive) return;
    if (waiting > static_cast<intptr_t>(kLinePiece))
        m_host.Post(WM_SERIAL_RXDATA, m_host.Settings().GetPortNumber(), waiting - got);

    const uint8_t first = static_cast<uint8_t>(buffer[0]);
    switch (m_nTransferKind) {
        case TransferKind::SendFile:
        case TransferKind::SendDocument:
            if (m_nProtocol == Protocol::Echo) {
                m_lineClock.Carried();  // the controller answered what it got
                SendNextChar();
            } else if (m_nProtocol == Protocol::Xon) {
                if (first == kDC1) {
                    m_lineClock.Carried();  // it asks for more once it has the block
                    SendNextLines(false);
                } else if (first == kDC3) {
                    m_port->Purge();
                    SendNextLines(true);
                }
            } else if (m_nProtocol == Protocol::Download && m_nTransferKind == TransferKind::SendFile &&
                       GoesInBlocks(m_nDownloadKind)) {
                HandleDownloadReply(reinterpret_cast<const uint8_t*>(buffer), got);
            }
            break;
        case TransferKind::ReceiveFile:
            if (m_nProtocol == Protocol::Echo) {
                // A byte kept from before this receive came first; the
                // controller sends nothing more until it is answered.
                const char answer = keptForReceive ? m_strReceiveInput.front() : buffer[0];
                m_strReceiveInput.clear();
                if (!WriteToLine(&answer, 1)) break;
                StoreReceivedChar(static_cast<uint8_t>(answer));
            } else if (m_nProtocol == Protocol::Block || m_nProtocol == Protocol::Xon) {
                StoreReceivedText(buffer, got);
            }
            break;
        case TransferKind::Idle: KeepIdleInput(buffer, got); break;
    }
}

void TransferEngine::OnSerialTxEmpty() {
    if (m_nProtocol == Protocol::Block && (m_nTransferKind == TransferKind::SendFile || m_nTransferKind == TransferKind::SendDocument))
        SendNextBlock();
    else if (m_nProtocol == Protocol::Download && m_nTransferKind == TransferKind::SendFile)
        SendNextDownloadPiece();
}

// The device went away (adapter unplugged, line hung up): nothing will ever
// answer, so a running transfer ends now with a log line and a message
// instead of waiting for a Cancel that the user may not know to press.
void TransferEngine::OnSerialDevLost() {
    FailPortLost();
    ClosePort();
}

// A port on a device server connects after it opened: when it never came
// up, the person is told that the port could not be opened, and why, as for
// a port that would not open at all.
void TransferEngine::FailPortLost() {
    if (!IsTransferring()) return;
    const unsigned number = m_host.Settings().GetPortNumber();
    const PortFailure neverUp = m_port->LastOpenFailure();
    if (neverUp.kind == PortFailureKind::None) {
        FailTransfer(EndResult::PortLost, FormatWithNumber(texts::kPortLostMessage, number));
        return;
    }
    EndTransfer(EndResult::PortLost);
    DestroyProgressWindow();
    m_host.ShowPortOpenFailure(FormatWithNumber(texts::kCanNotOpenPort, number), texts::kCaptionError,
                               ExplainPortChoice(m_host.Settings(), neverUp));
}

void TransferEngine::OnSendDlgCancel() {
    // The window removes itself after this returns.
    m_progressWindow = Window::None;
    EndTransfer(EndResult::SendCancelled);
}

void TransferEngine::OnReceiveDlgCancel() {
    m_progressWindow = Window::None;
    if (m_nTransferKind != TransferKind::ReceiveFile) {
        EndTransfer(EndResult::ReceiveCancelled);
        return;
    }
    // Tells the controller that the PC stops. The port only queues it, so
    // the receive ends now even while the controller holds the line with
    // XOFF; if the port will not take it, the person must know that the
    // controller was not told.
    const bool told = m_port->Write(&kSUB, 1);
    EndTransfer(EndResult::ReceiveCancelled);
    if (!told)
        m_host.ShowMessage(FormatWithNumber(texts::kWriteRefusedMessage, m_host.Settings().GetPortNumber()),
                           texts::kCaptionError, MessageBoxIcon::Error);
}

bool TransferEngine::WriteToLine(const void* data, uint32_t length) {
    if (m_port->Write(data, length)) {
        m_nActivitySteps += length;
        m_record.lineBytes += length;
        m_lineClock.Handed(length);
        return true;
    }
    FailWriteRefused();
    return false;
}

// A lost device is named as such; the port's own message about it may still
// be on its way and then finds the transfer ended.
void TransferEngine::FailWriteRefused() {
    if (!IsTransferring()) return;
    const unsigned number = m_host.Settings().GetPortNumber();
    if (m_port->IsDeviceLost())
        FailPortLost();
    else
        FailTransfer(EndResult::WriteRefused, FormatWithNumber(texts::kWriteRefusedMessage, number));
}

bool TransferEngine::FileOpened(const FileOutcome& opened) {
    if (!opened) m_host.ShowFileOpenFailure(texts::kCanNotOpenFile, texts::kCaptionError, opened.Failure());
    return static_cast<bool>(opened);
}

void TransferEngine::CreateProgressWindow(ProgressKind kind, const std::string& path) {
    const CommSettings& settings = m_host.Settings();
    m_host.CreateProgress(kind, GetPortName(settings, settings.commPort), GetSystemTypeName(settings.sysType),
                          path);
    m_progressWindow = kind == ProgressKind::Sending ? Window::Sending : Window::Receiving;
}

void TransferEngine::DestroyProgressWindow() {
    if (m_progressWindow == Window::None) return;
    m_progressWindow = Window::None;
    m_host.DestroyProgress();
}

void TransferEngine::FailTransfer(EndResult result, const std::string& message) {
    EndTransfer(result);
    DestroyProgressWindow();
    m_host.ShowMessage(message, texts::kCaptionError, MessageBoxIcon::Error);
}

void TransferEngine::SetSendTotal(uint64_t total) {
    m_record.fileTotal = total;
    m_host.SetProgressRange(total);
}

void TransferEngine::ReportSendProgress(uint64_t position) {
    m_record.filePos = position;
    m_host.SetProgressPos(position);
    m_host.SetByteCount(position);
}

}  // namespace quorlin
