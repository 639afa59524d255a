// The connection of a network port: its socket and the telnet com-port
// option (RFC 2217), through libtelnet.
#include "serial/NetworkLink.h"

#include <errno.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <libtelnet.h>

#include <algorithm>
#include <cstring>

namespace quorlin {
namespace {

// The telnet com-port option and its commands (client to server; the
// server answers each with the same code plus kAnswerOffset).
constexpr unsigned char kComPortOption = 44;
constexpr unsigned char kSetBaudRate = 1;
constexpr unsigned char kSetDataSize = 2;
constexpr unsigned char kSetParity = 3;
constexpr unsigned char kSetStopSize = 4;
constexpr unsigned char kSetControl = 5;
constexpr unsigned char kNotifyModemState = 7;
constexpr unsigned char kPurgeData = 12;
constexpr unsigned char kAnswerOffset = 100;
// What waits for a server that does not read is bounded: a server that
// keeps asking (IAC DO over and over) without taking the answers is dropped.
constexpr size_t kPendingLimit = 4 * 1024 * 1024;

// SET-CONTROL values the link sends of its own accord.
constexpr unsigned char kControlNoFlow = 1;
constexpr unsigned char kControlHardwareFlow = 3;
constexpr unsigned char kControlDtrOn = 8;
constexpr unsigned char kControlRtsOn = 11;
constexpr unsigned char kControlInboundNone = 14;
constexpr unsigned char kControlInboundXonXoff = 15;

// Options this side takes part in: the com-port option (ours to offer),
// binary both ways so that CR and IAC pass unchanged, no go-aheads.
const telnet_telopt_t kTelnetOptions[] = {
    {kComPortOption, TELNET_WILL, TELNET_DONT},
    {TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO},
    {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
    {-1, 0, 0},
};

bool IsConnectionGone(int error) {
    return error == ECONNRESET || error == EPIPE || error == ENOTCONN || error == ETIMEDOUT ||
           error == EHOSTUNREACH || error == ENETUNREACH || error == ECONNABORTED || error == ENETDOWN ||
           error == EHOSTDOWN;
}

unsigned char ParityCode(char parity) {
    switch (parity) {
        case 'o': return 2;
        case 'e': return 3;
        case 'm': return 4;
        case 's': return 5;
        default: return 1;
    }
}

char ParityLetter(unsigned char code, char otherwise) {
    switch (code) {
        case 1: return 'n';
        case 2: return 'o';
        case 3: return 'e';
        case 4: return 'm';
        case 5: return 's';
        default: return otherwise;
    }
}

unsigned char StopCode(StopBits stop) {
    switch (stop) {
        case StopBits::Two: return 2;
        case StopBits::OnePointFive: return 3;
        default: return 1;
    }
}

}  // namespace

IoResult FromSocket(ssize_t result) {
    if (result >= 0) return {IoStatus::Done, static_cast<size_t>(result), 0};
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) return {IoStatus::WouldBlock, 0, error};
    return {IsConnectionGone(error) ? IoStatus::Lost : IoStatus::Failed, 0, error};
}

NetworkLink::NetworkLink(bool rfc2217) {
    if (rfc2217) m_telnet = telnet_init(kTelnetOptions, &NetworkLink::OnTelnetEvent, 0, this);
}

NetworkLink::~NetworkLink() {
    if (m_telnet) telnet_free(m_telnet);
    if (m_socket >= 0) ::close(m_socket);
}

void NetworkLink::Settle() {
    if (m_phase == LinkPhase::Connecting) m_phase = LinkPhase::Up;
}

void NetworkLink::Lose(int error, const std::string& text) {
    if (m_phase == LinkPhase::Gone) return;
    if (m_phase == LinkPhase::Connecting)
        m_openFailure = PortFailure{PortFailureKind::Other, error, text.empty() ? std::strerror(error) : text,
                                    m_connectCall};
    m_phase = LinkPhase::Gone;
    m_goneError = error;
}

void NetworkLink::Fault(const std::string& what) {
    if (m_phase == LinkPhase::Gone) return;
    if (m_phase == LinkPhase::Connecting || !m_dataSent)
        m_openFailure = PortFailure{PortFailureKind::ServerFault, EPROTO, what, m_connectCall};
    m_phase = LinkPhase::Gone;
    m_goneError = EPROTO;
    // Nothing that came with the fault can be trusted as data.
    m_received.clear();
    m_pending.clear();
    m_unanswered.clear();
}

void NetworkLink::OfferOptions() {
    if (!m_telnet) return;
    telnet_negotiate(m_telnet, TELNET_WILL, kComPortOption);
    telnet_negotiate(m_telnet, TELNET_WILL, TELNET_TELOPT_BINARY);
    telnet_negotiate(m_telnet, TELNET_DO, TELNET_TELOPT_BINARY);
}

void NetworkLink::Decode(const unsigned char* raw, size_t size) {
    if (m_telnet) telnet_recv(m_telnet, reinterpret_cast<const char*>(raw), size);
}

void NetworkLink::Encode(const void* data, size_t size) {
    if (m_telnet) telnet_send(m_telnet, static_cast<const char*>(data), size);
}

void NetworkLink::OnTelnetEvent(telnet_t*, telnet_event_t* event, void* self) {
    static_cast<NetworkLink*>(self)->OnTelnetEvent(*event);
}

void NetworkLink::OnTelnetEvent(const telnet_event_t& event) {
    switch (event.type) {
        case TELNET_EV_DATA:
            // After a fault the rest of the piece (such as the tail of an
            // overlong negotiation) is no data of the machine's.
            if (IsGone()) break;
            m_received.insert(m_received.end(), event.data.buffer, event.data.buffer + event.data.size);
            break;
        case TELNET_EV_SEND:
            if (IsGone()) break;
            m_pending.insert(m_pending.end(), event.data.buffer, event.data.buffer + event.data.size);
            if (m_pending.size() > kPendingLimit)
                Fault("kept asking without reading the answers (more than " +
                      std::to_string(kPendingLimit / (1024 * 1024)) + " MB waited for it)");
            break;
        case TELNET_EV_DO:
            if (event.neg.telopt == kComPortOption && !m_comPortTaken) {
                m_comPortTaken = true;
                // DTR and RTS up, as a local port has them once opened.
                SendComPort(kSetControl, &kControlDtrOn, 1);
                SendComPort(kSetControl, &kControlRtsOn, 1);
                if (m_settingsAsked) SendSettings();
            }
            break;
        case TELNET_EV_DONT:
        case TELNET_EV_WONT:
            if (event.neg.telopt == kComPortOption) {
                m_comPortRefused = true;
                Fault("refused the com-port option (RFC 2217), so the line settings cannot be set");
            }
            break;
        case TELNET_EV_SUBNEGOTIATION:
            if (event.sub.telopt == kComPortOption)
                OnComPortAnswer(reinterpret_cast<const unsigned char*>(event.sub.buffer), event.sub.size);
            break;
        case TELNET_EV_WARNING:
        case TELNET_EV_ERROR:
            // The server broke the protocol (a negotiation longer than the
            // telnet layer holds, bytes out of place): what follows would
            // reach the program as data, so nothing it sends is trusted.
            Fault(std::string("broke the telnet protocol (") + (event.error.msg ? event.error.msg : "") + ")");
            break;
        default:
            break;
    }
}

void NetworkLink::OnComPortAnswer(const unsigned char* data, size_t size) {
    if (size < 2 || data[0] < kAnswerOffset) return;
    const unsigned char value = data[1];
    switch (data[0] - kAnswerOffset) {
        case kSetBaudRate:
            if (size >= 5) {
                const uint32_t baud = (uint32_t{data[1]} << 24) | (uint32_t{data[2]} << 16) |
                                      (uint32_t{data[3]} << 8) | uint32_t{data[4]};
                if (baud != 0) m_state.baudRate = baud;
                CheckAnswer(kSetBaudRate, baud);
            }
            break;
        case kSetDataSize:
            if (value >= 5 && value <= 8) m_state.dataBits = value;
            CheckAnswer(kSetDataSize, value);
            break;
        case kSetParity:
            m_state.parity = ParityLetter(value, m_state.parity);
            CheckAnswer(kSetParity, value);
            break;
        case kSetStopSize:
            if (value == 1) m_state.stopBits = StopBits::One;
            if (value == 2) m_state.stopBits = StopBits::Two;
            if (value == 3) m_state.stopBits = StopBits::OnePointFive;
            CheckAnswer(kSetStopSize, value);
            break;
        case kNotifyModemState:
            // The bits are those of the modem status: CTS 0x10, DSR 0x20,
            // RI 0x40, CD 0x80.
            m_modemState = value & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
            break;
        default:
            break;
    }
}

namespace {

const char* SettingName(unsigned char command) {
    switch (command) {
        case kSetBaudRate: return "SET-BAUDRATE";
        case kSetDataSize: return "SET-DATASIZE";
        case kSetParity: return "SET-PARITY";
        default: return "SET-STOPSIZE";
    }
}

// A setting's value as a person reads it: "4800 baud", "parity o".
std::string SettingText(unsigned char command, uint32_t value) {
    switch (command) {
        case kSetBaudRate: return std::to_string(value) + " baud";
        case kSetDataSize: return std::to_string(value) + " data bits";
        case kSetParity: return std::string("parity ") + ParityLetter(static_cast<unsigned char>(value), '?');
        default: return value == 3 ? std::string("1.5 stop bits") : std::to_string(value) + " stop bits";
    }
}

}  // namespace

std::string NetworkLink::OldestAskName() const {
    return m_unanswered.empty() ? std::string() : SettingName(m_unanswered.front().command);
}

void NetworkLink::CheckAnswer(unsigned char command, uint32_t value) {
    const auto isCommand = [command](const Asked& each) { return each.command == command; };
    const auto oldest = std::find_if(m_unanswered.begin(), m_unanswered.end(), isCommand);
    if (oldest == m_unanswered.end()) return;  // a notice of its own accord, not an answer
    // A server that takes a second request before it answers the first may
    // answer both with the value it now holds: an answer that matches a
    // later request of the same setting answers the earlier ones too.
    const auto matched = std::find_if(oldest, m_unanswered.end(),
                                      [&](const Asked& each) { return isCommand(each) && each.value == value; });
    if (matched != m_unanswered.end()) {
        m_unanswered.erase(std::remove_if(m_unanswered.begin(), std::next(matched), isCommand), std::next(matched));
        return;
    }
    const uint32_t wanted = oldest->value;
    m_unanswered.erase(oldest);
    Fault("set the line to " + SettingText(command, value) + ", not " + SettingText(command, wanted) + " as asked (" +
          SettingName(command) + ")");
}

void NetworkLink::SendComPort(unsigned char command, const unsigned char* value, size_t size) {
    unsigned char message[5] = {command};
    std::memcpy(message + 1, value, std::min<size_t>(size, 4));
    telnet_subnegotiation(m_telnet, kComPortOption, reinterpret_cast<const char*>(message), 1 + size);
}

void NetworkLink::AskSettings(const CommState& state) {
    m_state = state;
    if (!m_telnet) return;  // a raw server keeps the settings it was set up with
    m_settingsAsked = true;
    if (m_comPortTaken) SendSettings();
}

void NetworkLink::SendSettings() {
    const uint32_t baud = m_state.baudRate;
    const unsigned char baudBytes[4] = {static_cast<unsigned char>(baud >> 24), static_cast<unsigned char>(baud >> 16),
                                        static_cast<unsigned char>(baud >> 8), static_cast<unsigned char>(baud)};
    const unsigned char dataBits = m_state.dataBits;
    const unsigned char parity = ParityCode(m_state.parity);
    const unsigned char stop = StopCode(m_state.stopBits);
    // The server's XON/XOFF for its output stays off: the port does that on
    // top, so that DC1 and DC3 reach it as they would from a local line.
    // XON/XOFF for its input is the server's, as it is a local tty's.
    const unsigned char flow = m_state.outxCtsFlow || m_state.outxDsrFlow ? kControlHardwareFlow : kControlNoFlow;
    const unsigned char inbound = m_state.inX ? kControlInboundXonXoff : kControlInboundNone;
    // Data waits until the server has answered each of these with the
    // value asked: at another speed the machine would get garbage.
    const auto now = std::chrono::steady_clock::now();
    m_unanswered.push_back({kSetBaudRate, baud, now});
    m_unanswered.push_back({kSetDataSize, dataBits, now});
    m_unanswered.push_back({kSetParity, parity, now});
    m_unanswered.push_back({kSetStopSize, stop, now});
    SendComPort(kSetBaudRate, baudBytes, 4);
    SendComPort(kSetDataSize, &dataBits, 1);
    SendComPort(kSetParity, &parity, 1);
    SendComPort(kSetStopSize, &stop, 1);
    SendComPort(kSetControl, &flow, 1);
    SendComPort(kSetControl, &inbound, 1);
}

void NetworkLink::SendControl(unsigned char value) {
    if (m_telnet && m_comPortTaken) SendComPort(kSetControl, &value, 1);
}

void NetworkLink::SendPurge(unsigned char what) {
    if (m_telnet && m_comPortTaken) SendComPort(kPurgeData, &what, 1);
}

bool NetworkLink::Push() {
    // Before the connection is there, what waits leaves once it is.
    while (!m_pending.empty() && m_socket >= 0 && !IsGone()) {
        const ssize_t sent = ::send(m_socket, m_pending.data(), m_pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            const int error = errno;
            if (error == EINTR) continue;
            if (error == EAGAIN || error == EWOULDBLOCK) return true;
            Lose(error);
            break;
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + sent);
    }
    return !IsGone();
}

uint32_t NetworkLink::Unsent() const {
    int queued = 0;
    if (m_socket < 0 || ::ioctl(m_socket, SIOCOUTQ, &queued) != 0) queued = 0;
    return static_cast<uint32_t>(m_pending.size()) + static_cast<uint32_t>(std::max(queued, 0));
}

}  // namespace quorlin
