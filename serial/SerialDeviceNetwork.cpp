// Network back end of the port's device seam (POSIX): a non-blocking TCP
// socket to a serial device server, with libtelnet for the com-port option
// (RFC 2217) or raw bytes, and poll() over the socket and the wake events.
//
// Every call works under one lock: the reader thread reads, the writer (or
// the host's Write) writes, and the host configures, all through the one
// telnet state. Bytes that the telnet layer has made but the socket has not
// yet taken wait in m_pending and leave, in order, before anything newer.
#include <errno.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <libtelnet.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "serial/LineSettings.h"
#include "serial/NetworkDevice.h"
#include "serial/PollWait.h"
#include "serial/SerialDevice.h"

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
// SET-CONTROL values.
constexpr unsigned char kControlNoFlow = 1;
constexpr unsigned char kControlHardwareFlow = 3;
constexpr unsigned char kControlBreakOn = 5;
constexpr unsigned char kControlBreakOff = 6;
constexpr unsigned char kControlDtrOn = 8;
constexpr unsigned char kControlDtrOff = 9;
constexpr unsigned char kControlRtsOn = 11;
constexpr unsigned char kControlRtsOff = 12;
constexpr unsigned char kControlInboundNone = 14;
constexpr unsigned char kControlInboundXonXoff = 15;
// PURGE-DATA value for the server's input.
constexpr unsigned char kPurgeReceive = 1;

// Options this side takes part in: the com-port option (ours to offer),
// binary both ways so that CR and IAC pass unchanged, no go-aheads.
const telnet_telopt_t kTelnetOptions[] = {
    {kComPortOption, TELNET_WILL, TELNET_DONT},
    {TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO},
    {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
    {-1, 0, 0},
};

// The send buffer is kept small, so that a socket that reports room does
// not swallow a whole program ahead of a controller's XOFF.
constexpr int kSendBufferSize = 4096;

// How much the socket may hold unsent before Ready no longer reports room:
// the few hundred bytes a tty's output queue holds when it wakes a writer.
constexpr uint32_t kWritableBelow = 256;
// How often a queue held up by the server is looked at again.
constexpr std::chrono::milliseconds kQueueLook{10};

bool IsConnectionGone(int error) {
    return error == ECONNRESET || error == EPIPE || error == ENOTCONN || error == ETIMEDOUT ||
           error == EHOSTUNREACH || error == ENETUNREACH || error == ECONNABORTED || error == ENETDOWN ||
           error == EHOSTDOWN;
}

IoResult FromSocket(ssize_t result) {
    if (result >= 0) return {IoStatus::Done, static_cast<size_t>(result), 0};
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) return {IoStatus::WouldBlock, 0, error};
    return {IsConnectionGone(error) ? IoStatus::Lost : IoStatus::Failed, 0, error};
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

class NetworkDevice final : public SerialDevice {
public:
    NetworkDevice(int socket, bool rfc2217);
    ~NetworkDevice() override;

    IoResult ReadSome(void* buffer, size_t size) override;
    IoResult WriteSome(const void* data, size_t size) override;
    WaitResult Wait(const WakeEvent& stop, const WakeEvent& wake, DeviceWait what,
                    std::chrono::milliseconds timeout) const override;
    Readiness Ready() const override;
    bool GetState(CommState& state) const override;
    bool SetState(const CommState& state, std::string& notTaken) override;
    bool SetQueueSizes(uint32_t, uint32_t) override { return true; }
    // Only the server's input is dropped: what the port handed over counts
    // as sent once the server has it (there is no asking how much of it is
    // still on its way to the machine), and a purge at the next Init, such
    // as the restore after a download, must not cut off its end.
    bool Purge() override { return PurgeServer(kPurgeReceive); }
    bool PurgeOutput() override { return true; }
    bool PurgeInput() override { return PurgeServer(kPurgeReceive); }
    bool Drain() override;
    bool DrainUntil(std::chrono::steady_clock::time_point deadline) override;
    bool OutputWaiting(uint32_t& count) const override;
    bool Escape(uint32_t code) override;
    bool GetModemStatus(uint32_t& status) const override;

    // Offers the com-port option and binary transmission, and waits until
    // deadline for the server to take or refuse the option, so that the
    // line settings go out before the first byte of data: data sent at the
    // server's old speed would reach the machine as garbage. False when the
    // connection went meanwhile.
    bool StartTelnet(std::chrono::steady_clock::time_point deadline);

private:
    static void OnTelnetEvent(telnet_t*, telnet_event_t* event, void* self);
    void OnTelnetEvent(const telnet_event_t& event);
    void OnComPortAnswer(const unsigned char* data, size_t size);
    // Sends one com-port command; it waits in m_pending where the socket is full.
    void SendComPort(unsigned char command, const unsigned char* value, size_t size);
    void SendSettings();
    bool PurgeServer(unsigned char what);
    // Hands m_pending to the socket as far as it takes it; false when the
    // connection is gone (m_gone is set).
    bool Push() const;
    uint32_t Unsent() const;  // under m_mutex

    const int m_socket;
    const bool m_rfc2217;
    telnet_t* m_telnet = nullptr;
    mutable std::mutex m_mutex;
    mutable std::vector<unsigned char> m_pending;
    mutable bool m_gone = false;
    mutable int m_goneError = 0;
    // Data the telnet layer has decoded and ReadSome has not handed out.
    std::vector<unsigned char> m_received;
    bool m_comPortTaken = false;  // the server said DO to the option
    bool m_comPortRefused = false;
    bool m_settingsAsked = false;
    CommState m_state;        // as asked, with the server's answers in place
    uint32_t m_modemState = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;  // present until the server tells
};

NetworkDevice::NetworkDevice(int socket, bool rfc2217) : m_socket(socket), m_rfc2217(rfc2217) {
    if (m_rfc2217) m_telnet = telnet_init(kTelnetOptions, &NetworkDevice::OnTelnetEvent, 0, this);
}

NetworkDevice::~NetworkDevice() {
    if (m_telnet) telnet_free(m_telnet);
    ::close(m_socket);
}

bool NetworkDevice::StartTelnet(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    if (!m_telnet) return true;
    telnet_negotiate(m_telnet, TELNET_WILL, kComPortOption);
    telnet_negotiate(m_telnet, TELNET_WILL, TELNET_TELOPT_BINARY);
    telnet_negotiate(m_telnet, TELNET_DO, TELNET_TELOPT_BINARY);
    while (Push() && !m_comPortTaken && !m_comPortRefused) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;  // the settings follow whenever it answers
        pollfd fd{m_socket, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        if (!(fd.revents & (POLLIN | POLLHUP | POLLERR))) continue;
        unsigned char raw[512];
        const IoResult io = FromSocket(::recv(m_socket, raw, sizeof raw, MSG_DONTWAIT));
        if (io.status == IoStatus::WouldBlock) continue;
        if (io.status != IoStatus::Done || io.count == 0) {
            m_gone = true;
            m_goneError = io.count == 0 && io.status == IoStatus::Done ? ECONNRESET : io.error;
            break;
        }
        telnet_recv(m_telnet, reinterpret_cast<const char*>(raw), io.count);
    }
    return !m_gone;
}

void NetworkDevice::OnTelnetEvent(telnet_t*, telnet_event_t* event, void* self) {
    static_cast<NetworkDevice*>(self)->OnTelnetEvent(*event);
}

void NetworkDevice::OnTelnetEvent(const telnet_event_t& event) {
    switch (event.type) {
        case TELNET_EV_DATA:
            m_received.insert(m_received.end(), event.data.buffer, event.data.buffer + event.data.size);
            break;
        case TELNET_EV_SEND:
            m_pending.insert(m_pending.end(), event.data.buffer, event.data.buffer + event.data.size);
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
            if (event.neg.telopt == kComPortOption) m_comPortRefused = true;
            break;
        case TELNET_EV_SUBNEGOTIATION:
            if (event.sub.telopt == kComPortOption)
                OnComPortAnswer(reinterpret_cast<const unsigned char*>(event.sub.buffer), event.sub.size);
            break;
        case TELNET_EV_ERROR:
            // The server broke the protocol: nothing it sends can be trusted.
            m_gone = true;
            m_goneError = EPROTO;
            break;
        default:
            break;
    }
}

void NetworkDevice::OnComPortAnswer(const unsigned char* data, size_t size) {
    if (size < 2 || data[0] < kAnswerOffset) return;
    const unsigned char value = data[1];
    switch (data[0] - kAnswerOffset) {
        case kSetBaudRate:
            if (size >= 5) {
                const uint32_t baud = (uint32_t{data[1]} << 24) | (uint32_t{data[2]} << 16) |
                                      (uint32_t{data[3]} << 8) | uint32_t{data[4]};
                if (baud != 0) m_state.baudRate = baud;
            }
            break;
        case kSetDataSize:
            if (value >= 5 && value <= 8) m_state.dataBits = value;
            break;
        case kSetParity:
            m_state.parity = ParityLetter(value, m_state.parity);
            break;
        case kSetStopSize:
            if (value == 1) m_state.stopBits = StopBits::One;
            if (value == 2) m_state.stopBits = StopBits::Two;
            if (value == 3) m_state.stopBits = StopBits::OnePointFive;
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

void NetworkDevice::SendComPort(unsigned char command, const unsigned char* value, size_t size) {
    unsigned char message[5] = {command};
    std::memcpy(message + 1, value, std::min<size_t>(size, 4));
    telnet_subnegotiation(m_telnet, kComPortOption, reinterpret_cast<const char*>(message), 1 + size);
}

void NetworkDevice::SendSettings() {
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
    SendComPort(kSetBaudRate, baudBytes, 4);
    SendComPort(kSetDataSize, &dataBits, 1);
    SendComPort(kSetParity, &parity, 1);
    SendComPort(kSetStopSize, &stop, 1);
    SendComPort(kSetControl, &flow, 1);
    SendComPort(kSetControl, &inbound, 1);
}

bool NetworkDevice::Push() const {
    while (!m_pending.empty() && !m_gone) {
        const ssize_t sent = ::send(m_socket, m_pending.data(), m_pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            const int error = errno;
            if (error == EINTR) continue;
            if (error == EAGAIN || error == EWOULDBLOCK) return true;
            m_gone = true;
            m_goneError = error;
            break;
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + sent);
    }
    return !m_gone;
}

uint32_t NetworkDevice::Unsent() const {
    int queued = 0;
    if (::ioctl(m_socket, SIOCOUTQ, &queued) != 0) queued = 0;
    return static_cast<uint32_t>(m_pending.size()) + static_cast<uint32_t>(std::max(queued, 0));
}

IoResult NetworkDevice::ReadSome(void* buffer, size_t size) {
    std::lock_guard lock(m_mutex);
    if (m_gone) return {IoStatus::Lost, 0, m_goneError};
    if (size == 0) return {};
    if (!m_telnet) {
        const IoResult io = FromSocket(::recv(m_socket, buffer, size, MSG_DONTWAIT));
        // The server closed the connection: the line is gone.
        if (io.status == IoStatus::Done && io.count == 0) return {IoStatus::Lost, 0, ECONNRESET};
        return io;
    }
    if (m_received.empty()) {
        // Telnet only ever shortens what was received: no more than the
        // caller has room for is read, so that nothing decoded stays behind
        // where a wait on the socket would not see it.
        std::vector<unsigned char> raw(size);
        const IoResult io = FromSocket(::recv(m_socket, raw.data(), size, MSG_DONTWAIT));
        if (io.status != IoStatus::Done) return io;
        if (io.count == 0) return {IoStatus::Lost, 0, ECONNRESET};
        telnet_recv(m_telnet, reinterpret_cast<const char*>(raw.data()), io.count);
        // Answers to the server's negotiation go out at once.
        if (!Push() && m_received.empty()) return {IoStatus::Lost, 0, m_goneError};
    }
    // Only telnet commands came: nothing for the caller (and no data to copy).
    if (m_received.empty()) return {IoStatus::Done, 0, 0};
    const size_t count = std::min(size, m_received.size());
    std::memcpy(buffer, m_received.data(), count);
    m_received.erase(m_received.begin(), m_received.begin() + static_cast<ptrdiff_t>(count));
    return {IoStatus::Done, count, 0};
}

IoResult NetworkDevice::WriteSome(const void* data, size_t size) {
    std::lock_guard lock(m_mutex);
    if (!Push()) return {IoStatus::Lost, 0, m_goneError};
    if (size == 0) return {};
    // What the telnet layer made earlier goes first.
    if (!m_pending.empty()) return {IoStatus::WouldBlock, 0, EAGAIN};
    if (!m_telnet) {
        const IoResult io = FromSocket(::send(m_socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT));
        if (io.status == IoStatus::Lost || io.status == IoStatus::Failed) {
            m_gone = io.status == IoStatus::Lost;
            m_goneError = io.error;
        }
        return io;
    }
    // The whole piece is taken: its escaped form leaves from m_pending as
    // the socket takes it, and counts as queued output until then.
    telnet_send(m_telnet, static_cast<const char*>(data), size);
    if (!Push()) return {IoStatus::Lost, 0, m_goneError};
    return {IoStatus::Done, size, 0};
}

WaitResult NetworkDevice::Wait(const WakeEvent& stop, const WakeEvent& wake, DeviceWait what,
                               std::chrono::milliseconds timeout) const {
    pollfd fds[3];
    FillWaitDescriptors(fds, stop, wake, m_socket, what);
    WaitResult result;
    {
        std::lock_guard lock(m_mutex);
        if (m_gone && what != DeviceWait::None) {
            result.deviceGone = true;
            return result;
        }
        // Data decoded while the option was being settled is input waiting.
        if (!m_received.empty() && (what == DeviceWait::Readable || what == DeviceWait::ReadableOrWritable)) {
            result.deviceReady = true;
            return result;
        }
        // A socket reports room long before its queue is as short as Ready
        // asks: while the server holds the queue up, room is looked for
        // again after a while instead of being reported at once, over and
        // over.
        if ((fds[2].events & POLLOUT) && m_pending.empty() && Unsent() >= kWritableBelow) {
            fds[2].events &= static_cast<short>(~POLLOUT);
            if (timeout == kWaitForever || timeout > kQueueLook) timeout = kQueueLook;
        }
    }
    return PollWait(fds, what == DeviceWait::None ? 2 : 3, timeout);
}

SerialDevice::Readiness NetworkDevice::Ready() const {
    std::lock_guard lock(m_mutex);
    Readiness result;
    if (!Push()) {
        result.gone = true;
        return result;
    }
    pollfd fd{m_socket, POLLIN | POLLOUT, 0};
    if (::poll(&fd, 1, 0) != 1) return result;
    result.gone = (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    result.readable = ((fd.revents & POLLIN) != 0 || !m_received.empty()) && !result.gone;
    result.writable = (fd.revents & POLLOUT) != 0 && !result.gone && m_pending.empty() && Unsent() < kWritableBelow;
    return result;
}

bool NetworkDevice::GetState(CommState& state) const {
    std::lock_guard lock(m_mutex);
    state = m_state;
    return true;
}

bool NetworkDevice::SetState(const CommState& state, std::string& notTaken) {
    notTaken.clear();
    if (!IsKnownBaudRate(state.baudRate) || !IsValidFraming(state)) {
        notTaken = "line settings";
        errno = EINVAL;
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_state = state;
    if (!m_telnet) return true;  // a raw server keeps the settings it was set up with
    if (m_comPortRefused) {
        notTaken = "line settings (the server does not take them over the network)";
        errno = EINVAL;
        return false;
    }
    // Sent now, or as soon as the server has taken the option; its answers
    // replace the values in m_state as they arrive.
    m_settingsAsked = true;
    if (m_comPortTaken) SendSettings();
    if (Push()) return true;
    errno = m_goneError;
    return false;
}

bool NetworkDevice::PurgeServer(unsigned char what) {
    std::lock_guard lock(m_mutex);
    if (!m_telnet || !m_comPortTaken) return true;  // the server's buffers are out of reach
    SendComPort(kPurgeData, &what, 1);
    if (Push()) return true;
    errno = m_goneError;
    return false;
}

bool NetworkDevice::Drain() {
    std::lock_guard lock(m_mutex);
    if (Push()) return true;
    errno = EIO;
    return false;
}

bool NetworkDevice::DrainUntil(std::chrono::steady_clock::time_point deadline) {
    // The socket has no drain call: what it still holds is watched until it
    // has gone.
    return WatchQueueUntil(deadline, [this](bool& empty) {
        std::lock_guard lock(m_mutex);
        if (!Push()) {
            errno = EIO;
            return false;
        }
        empty = Unsent() == 0;
        return true;
    });
}

bool NetworkDevice::OutputWaiting(uint32_t& count) const {
    std::lock_guard lock(m_mutex);
    // Looking is also when bytes left waiting for room move on.
    if (!Push()) {
        errno = EIO;
        return false;
    }
    count = Unsent();
    return true;
}

bool NetworkDevice::Escape(uint32_t code) {
    unsigned char control = 0;
    switch (code) {
        case SETRTS: control = kControlRtsOn; break;
        case CLRRTS: control = kControlRtsOff; break;
        case SETDTR: control = kControlDtrOn; break;
        case CLRDTR: control = kControlDtrOff; break;
        case SETBREAK: control = kControlBreakOn; break;
        case CLRBREAK: control = kControlBreakOff; break;
        default: errno = EINVAL; return false;  // the output is held by the port's own XON/XOFF
    }
    std::lock_guard lock(m_mutex);
    if (!m_telnet || !m_comPortTaken) return true;  // no modem lines to reach
    SendComPort(kSetControl, &control, 1);
    if (Push()) return true;
    errno = m_goneError;
    return false;
}

bool NetworkDevice::GetModemStatus(uint32_t& status) const {
    std::lock_guard lock(m_mutex);
    status = m_modemState;
    return true;
}

// "HOST:PORT" of an address, split; false when it has no port.
bool SplitAddress(const std::string& hostAndPort, std::string& host, std::string& port) {
    const size_t colon = hostAndPort.rfind(':');
    if (colon == std::string::npos || colon + 1 >= hostAndPort.size()) return false;
    host = hostAndPort.substr(0, colon);
    port = hostAndPort.substr(colon + 1);
    // "[::1]:4001": the brackets only set the port apart.
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    while (!port.empty() && port.back() == '/') port.pop_back();
    return !host.empty() && !port.empty() &&
           std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Connects socket to address within the time-out; 0 or the error.
int ConnectWithin(int socket, const sockaddr* address, socklen_t length, std::chrono::milliseconds timeout) {
    if (::connect(socket, address, length) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    pollfd fd{socket, POLLOUT, 0};
    int ready;
    while ((ready = ::poll(&fd, 1, static_cast<int>(timeout.count()))) < 0)
        if (errno != EINTR) return errno;
    if (ready == 0) return ETIMEDOUT;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

}  // namespace

std::unique_ptr<SerialDevice> OpenNetworkDevice(const PortTarget& target, PortFailure& failure) {
    failure = PortFailure{};
    const auto started = std::chrono::steady_clock::now();
    const size_t scheme = target.path.find("://");
    const std::string hostAndPort = scheme == std::string::npos ? target.path : target.path.substr(scheme + 3);
    const std::string connectCall = "connect() to " + hostAndPort;
    std::string host, port;
    if (!SplitAddress(hostAndPort, host, port)) {
        failure = PortFailure{PortFailureKind::Other, EINVAL,
                              "the address " + target.path + " is not HOST:PORT", connectCall};
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); error != 0) {
        failure = PortFailure{PortFailureKind::Other, 0, ::gai_strerror(error), "getaddrinfo() of " + host};
        return nullptr;
    }
    int lastError = EHOSTUNREACH;
    int connected = -1;
    for (const addrinfo* each = found; each && connected < 0; each = each->ai_next) {
        const int socket = ::socket(each->ai_family, each->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, each->ai_protocol);
        if (socket < 0) {
            lastError = errno;
            continue;
        }
        const int sendBuffer = kSendBufferSize;
        ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        // Small pieces (an echo protocol's single characters) leave at once.
        const int noDelay = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        // A server that vanishes without closing (switched off, cable pulled)
        // is noticed within seconds rather than hours.
        const int keepAlive = 1, idle = 5, interval = 2, probes = 3;
        ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &keepAlive, sizeof keepAlive);
        ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
        ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
        ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
        // The same for one that stops taking what is sent to it.
        const unsigned userTimeoutMs = 11000;
        ::setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(started + kNetworkConnectTimeout -
                                                                        std::chrono::steady_clock::now());
        lastError = ConnectWithin(socket, each->ai_addr, each->ai_addrlen,
                                  std::max(left, std::chrono::milliseconds(1)));
        if (lastError == 0)
            connected = socket;
        else
            ::close(socket);
    }
    ::freeaddrinfo(found);
    if (connected < 0) {
        failure = PortFailure{PortFailureKind::Other, lastError, std::strerror(lastError), connectCall};
        return nullptr;
    }
    auto device = std::make_unique<NetworkDevice>(connected, target.kind == PortTargetKind::Rfc2217);
    if (!device->StartTelnet(started + kNetworkConnectTimeout)) {
        failure = PortFailure{PortFailureKind::Other, ECONNRESET, std::strerror(ECONNRESET), connectCall};
        return nullptr;
    }
    return device;
}

}  // namespace quorlin
