// What a running transfer waits for, and what its line can carry: read-only
// looks at the transfer state for a host's progress window.

#include "transfer/TransferEngine.h"

namespace quorlin {

namespace {
constexpr double kProgramBits = 10;  // 7 data bits, odd parity: start, 7, parity, stop
constexpr double kImageBits = 11;    // 8 data bits, odd parity
constexpr double kPlainImageBits = 10;  // 8 data bits, no parity
}  // namespace

TransferEngine::Wait TransferEngine::WaitingFor() const {
    if (!IsTransferring()) return Wait::Nothing;
    if (m_port->IsOutputHeld()) return Wait::XoffHeld;
    if (m_nTransferKind == TransferKind::ReceiveFile) return Wait::Data;
    switch (m_nProtocol) {
        case Protocol::Xon: return Wait::ControllerDc1;
        case Protocol::Echo: return Wait::CharacterAnswer;
        case Protocol::Download:
            return m_bAwaitReply && m_nBufferPos == kDownloadBlockSize ? Wait::BlockAnswer : Wait::Data;
        default: return Wait::Data;
    }
}

// The settings each transfer gives the line (OpenPort, PrepareProgramLine,
// InitDownloadLine).
double TransferEngine::LineBytesPerSecond() const {
    if (!IsTransferring()) return 0;
    const CommSettings& settings = m_host.Settings();
    switch (m_nProtocol) {
        case Protocol::Xon: return settings.baud / kProgramBits;
        case Protocol::Download:
            if (m_nDownloadKind == DownloadKind::Interface) return 9600 / kImageBits;
            if (m_nDownloadKind == DownloadKind::SoftwareP70) return 19200 / kPlainImageBits;
            return BlockBaud(settings.sysType, settings.baudRate) / kImageBits;
        default: return 9600 / kProgramBits;
    }
}

}  // namespace quorlin
