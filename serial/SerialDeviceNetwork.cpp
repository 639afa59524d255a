// Network back end of the port's device seam (POSIX): a non-blocking TCP
// socket to a serial device server, with the telnet com-port option
// (NetworkLink) or raw bytes, and poll() over the socket and the wake events.
//
// Opening does not wait for the network: a thread of the connection's own
// resolves the address, connects and settles the telnet options (Connect,
// below) while the port's owner carries on. Until then the device takes and
// gives nothing, and its waits end when the connecting does. A connection
// that never comes up is a lost device whose OpenFailure says why.
//
// Every call works under the link's lock: the connector, the reader thread,
// the writer (or the host's Write) and the host's configuration all go
// through the one telnet state. Bytes that the telnet layer has made but the
// socket has not yet taken wait in the link and leave, in order, before
// anything newer.
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include "serial/LineClock.h"
#include "serial/LineSettings.h"
#include "serial/NetworkDevice.h"
#include "serial/NetworkLink.h"
#include "serial/PollWait.h"
#include "serial/SerialDevice.h"

namespace quorlin {
namespace {

using Clock = std::chrono::steady_clock;

// SET-CONTROL values of the modem lines and the break.
constexpr unsigned char kControlBreakOn = 5;
constexpr unsigned char kControlBreakOff = 6;
constexpr unsigned char kControlDtrOn = 8;
constexpr unsigned char kControlDtrOff = 9;
constexpr unsigned char kControlRtsOn = 11;
constexpr unsigned char kControlRtsOff = 12;
// PURGE-DATA value for the server's input.
constexpr unsigned char kPurgeReceive = 1;

// The send buffer is kept small, so that a socket that reports room does
// not swallow a whole program ahead of a controller's XOFF.
constexpr int kSendBufferSize = 4096;

// How much the socket may hold unsent before Ready no longer reports room:
// the few hundred bytes a tty's output queue holds when it wakes a writer.
constexpr uint32_t kWritableBelow = 256;
// How often a queue held up by the server is looked at again.
constexpr std::chrono::milliseconds kQueueLook{10};
// A server puts what it is given on its line at the line rate and drops
// what it still holds when the connection closes: it is handed no more than
// this much line time ahead of the line, so that its queue stays short and
// the end of a transfer waits no longer than this for the line...
constexpr std::chrono::milliseconds kServerLead{300};
// ...and is handed more once that has shrunk by this much, so that the
// writer wakes a few times per lead rather than for every character.
constexpr std::chrono::milliseconds kServerRefill{75};
// How long a server may take to answer a line setting before data goes
// anyway: it is taken as a server that ignores them.
constexpr std::chrono::milliseconds kAnswerBound{2000};
constexpr Clock::duration kZero = Clock::duration::zero();

// The connector gives up at kNetworkConnectTimeout, but a name lookup
// cannot be interrupted: the device stops waiting for one this much later.
constexpr std::chrono::milliseconds kLookupMargin{1000};

// What the device and its connector share. The connector keeps it alive
// for as long as it runs, which may be longer than the device (a name
// lookup that hangs).
struct Connection {
    explicit Connection(bool rfc2217) : link(rfc2217) {}
    NetworkLink link;
    WakeEvent settled;    // the connecting has ended, either way
    WakeEvent abandoned;  // the device has gone: the connector stops
    bool deviceGone = false;  // under link.mutex
};

// Connects socket to address by deadline; 0 or the error. Gives up at once
// when the device goes.
int ConnectBy(int socket, const sockaddr* address, socklen_t length, Clock::time_point deadline,
              const WakeEvent& abandoned) {
    if (::connect(socket, address, length) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return ETIMEDOUT;
        pollfd fds[2] = {{socket, POLLOUT, 0}, {static_cast<int>(abandoned.Handle()), POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) return errno;
        if (fds[1].revents) return ECANCELED;
        if (fds[0].revents) break;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

// A non-blocking socket for address, set up for a serial line: small
// pieces leave at once and a server that vanishes is noticed; -1 with errno.
int LineSocket(const addrinfo& address) {
    const int socket = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                address.ai_protocol);
    if (socket < 0) return -1;
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
    return socket;
}

// Waits until deadline for the server to take or refuse the com-port
// option, so that the line settings go out before the first byte of data:
// data sent at the server's old speed would reach the machine as garbage.
// The settings follow whenever it answers after that.
void SettleTelnet(Connection& connection, Clock::time_point deadline) {
    NetworkLink& link = connection.link;
    const int socket = link.Socket();
    for (;;) {
        {
            std::lock_guard lock(link.mutex);
            if (!link.UsesTelnet() || link.IsGone() || link.ComPortSettled() || connection.deviceGone) return;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return;
        pollfd fds[2] = {{socket, POLLIN, 0}, {static_cast<int>(connection.abandoned.Handle()), POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) return;
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        // Only this thread reads the socket until the link is up.
        unsigned char raw[512];
        const IoResult io = FromSocket(::recv(socket, raw, sizeof raw, MSG_DONTWAIT));
        if (io.status == IoStatus::WouldBlock) continue;
        std::lock_guard lock(link.mutex);
        if (io.status != IoStatus::Done || io.count == 0) {
            link.Lose(io.status == IoStatus::Done ? ECONNRESET : io.error);
            return;
        }
        link.Decode(raw, io.count);
        link.Push();
    }
}

// The connector's thread: resolves host, connects to the first address
// that answers and settles the telnet options, all by deadline.
void Connect(std::shared_ptr<Connection> connection, std::string host, std::string port, std::string hostAndPort,
             Clock::time_point deadline) {
    NetworkLink& link = connection->link;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (lookup != 0) {
        std::lock_guard lock(link.mutex);
        link.Lose(EHOSTUNREACH, ::gai_strerror(lookup));
        connection->settled.Signal();
        return;
    }
    {
        std::lock_guard lock(link.mutex);
        link.SetConnectCall("connect() to " + hostAndPort);
    }
    int lastError = EHOSTUNREACH;
    int connected = -1;
    for (const addrinfo* each = found; each && connected < 0 && lastError != ECANCELED; each = each->ai_next) {
        const int socket = LineSocket(*each);
        if (socket < 0) {
            lastError = errno;
            continue;
        }
        lastError = ConnectBy(socket, each->ai_addr, each->ai_addrlen, deadline, connection->abandoned);
        if (lastError == 0)
            connected = socket;
        else
            ::close(socket);
    }
    ::freeaddrinfo(found);
    {
        std::lock_guard lock(link.mutex);
        if (connected < 0) {
            link.Lose(lastError);
            connection->settled.Signal();
            return;
        }
        if (link.IsGone()) {  // the device stopped waiting meanwhile
            ::close(connected);
            return;
        }
        link.Attach(connected);
        link.OfferOptions();
        link.Push();  // and whatever the device asked for meanwhile
    }
    SettleTelnet(*connection, deadline);
    std::lock_guard lock(link.mutex);
    // A server that refuses the offer (the telnet layer reports no refusal
    // of an offer it made) or never answers it keeps its own line settings
    // whatever is asked: the machine would get garbage.
    if (link.UsesTelnet() && !link.ComPortSettled() && !connection->deviceGone)
        link.Fault("did not take the com-port option (RFC 2217) within " +
                   std::to_string(kNetworkConnectTimeout.count() / 1000) + " s, so the line settings cannot be set");
    link.Settle();
    connection->settled.Signal();
}

class NetworkDevice final : public SerialDevice {
public:
    NetworkDevice(std::shared_ptr<Connection> connection, Clock::time_point giveUpAt)
        : m_connection(std::move(connection)), m_link(m_connection->link), m_giveUpAt(giveUpAt) {}
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
    bool AwaitConnection(PortFailure& failure) override;
    PortFailure OpenFailure() const override;
    bool IsConnecting() const override {
        std::lock_guard lock(m_link.mutex);
        return StillConnecting();
    }

private:
    // Under the link's lock: whether the connector is still at work. Past
    // m_giveUpAt the device gives up on it (a name lookup that hangs).
    bool StillConnecting() const;
    // Under the link's lock: sends what waits, false (errno set) when the
    // connection is gone.
    bool PushOrFail() const;
    bool PurgeServer(unsigned char what);
    // Under the link's lock: how long data must wait before the server may
    // be handed more (zero: now). Data waits for the answers to the line
    // settings, and for the server's line to catch up with what it holds.
    // A server that leaves the settings unanswered is dropped here.
    Clock::duration DataHeldFor(Clock::time_point now) const;

    const std::shared_ptr<Connection> m_connection;
    NetworkLink& m_link;
    const Clock::time_point m_giveUpAt;
    // When the server will have put the last data byte it was given on its
    // line, at the line settings asked for (under the link's lock).
    LineClock m_serverLine;
};

NetworkDevice::~NetworkDevice() {
    std::lock_guard lock(m_link.mutex);
    m_connection->deviceGone = true;
    m_connection->abandoned.Signal();
}

bool NetworkDevice::StillConnecting() const {
    if (m_link.Phase() != LinkPhase::Connecting) return false;
    if (Clock::now() < m_giveUpAt) return true;
    m_link.Lose(ETIMEDOUT);
    m_connection->settled.Signal();
    return false;
}

Clock::duration NetworkDevice::DataHeldFor(Clock::time_point now) const {
    if (m_link.AwaitsAnswers()) {
        const Clock::duration waited = now - m_link.OldestAsk();
        if (waited >= kAnswerBound) {
            m_link.Fault("did not answer " + m_link.OldestAskName() + " within " +
                         std::to_string(kAnswerBound.count() / 1000) + " s");
            return kZero;
        }
        return std::min<Clock::duration>(kAnswerBound - waited, kQueueLook);
    }
    const Clock::duration ahead = m_serverLine.FreeAt() - now;
    return std::max(kZero, ahead - (kServerLead - kServerRefill));
}

bool NetworkDevice::PushOrFail() const {
    if (m_link.Push()) return true;
    // EIO is a device that went away: the port's writer then knows that a
    // block's last bytes went with it rather than to the line.
    errno = EIO;
    return false;
}

IoResult NetworkDevice::ReadSome(void* buffer, size_t size) {
    std::lock_guard lock(m_link.mutex);
    if (StillConnecting()) return {IoStatus::WouldBlock, 0, EAGAIN};
    if (m_link.IsGone()) return {IoStatus::Lost, 0, m_link.GoneError()};
    if (size == 0) return {};
    std::vector<unsigned char>& received = m_link.Received();
    if (!m_link.UsesTelnet()) {
        const IoResult io = FromSocket(::recv(m_link.Socket(), buffer, size, MSG_DONTWAIT));
        // The server closed the connection: the line is gone.
        if (io.status == IoStatus::Done && io.count == 0) {
            m_link.Lose(ECONNRESET);
            return {IoStatus::Lost, 0, ECONNRESET};
        }
        return io;
    }
    if (received.empty()) {
        // Telnet only ever shortens what was received: no more than the
        // caller has room for is read, so that nothing decoded stays behind
        // where a wait on the socket would not see it.
        std::vector<unsigned char> raw(size);
        const IoResult io = FromSocket(::recv(m_link.Socket(), raw.data(), size, MSG_DONTWAIT));
        if (io.status != IoStatus::Done) return io;
        if (io.count == 0) {
            m_link.Lose(ECONNRESET);
            return {IoStatus::Lost, 0, ECONNRESET};
        }
        m_link.Decode(raw.data(), io.count);
        // Answers to the server's negotiation go out at once.
        if (!m_link.Push() && received.empty()) return {IoStatus::Lost, 0, m_link.GoneError()};
    }
    // Only telnet commands came: nothing for the caller (and no data to copy).
    if (received.empty()) return {IoStatus::Done, 0, 0};
    const size_t count = std::min(size, received.size());
    std::memcpy(buffer, received.data(), count);
    received.erase(received.begin(), received.begin() + static_cast<ptrdiff_t>(count));
    return {IoStatus::Done, count, 0};
}

IoResult NetworkDevice::WriteSome(const void* data, size_t size) {
    std::lock_guard lock(m_link.mutex);
    if (StillConnecting()) return {IoStatus::WouldBlock, 0, EAGAIN};
    if (!m_link.Push()) return {IoStatus::Lost, 0, m_link.GoneError()};
    if (size == 0) return {};
    // What the telnet layer made earlier goes first.
    if (m_link.HasPending()) return {IoStatus::WouldBlock, 0, EAGAIN};
    const auto now = Clock::now();
    const bool held = DataHeldFor(now) > kZero;
    if (m_link.IsGone()) return {IoStatus::Lost, 0, m_link.GoneError()};
    if (held) return {IoStatus::WouldBlock, 0, EAGAIN};
    // No more than the line can carry within kServerLead (one byte at the
    // least, so that a slow line still moves).
    const size_t piece = static_cast<size_t>(std::clamp<uint64_t>(m_serverLine.Room(kServerLead, now), 1, size));
    m_link.NoteData();
    if (!m_link.UsesTelnet()) {
        const IoResult io = FromSocket(::send(m_link.Socket(), data, piece, MSG_NOSIGNAL | MSG_DONTWAIT));
        if (io.status == IoStatus::Lost) m_link.Lose(io.error);
        if (io.status == IoStatus::Done) m_serverLine.Handed(io.count, now);
        return io;
    }
    // The whole piece is taken: its escaped form leaves as the socket takes
    // it, and counts as queued output until then.
    m_link.Encode(data, piece);
    if (!m_link.Push()) return {IoStatus::Lost, 0, m_link.GoneError()};
    m_serverLine.Handed(piece, now);
    return {IoStatus::Done, piece, 0};
}

WaitResult NetworkDevice::Wait(const WakeEvent& stop, const WakeEvent& wake, DeviceWait what,
                               std::chrono::milliseconds timeout) const {
    pollfd fds[3];
    bool connecting;
    {
        std::lock_guard lock(m_link.mutex);
        connecting = StillConnecting();
        FillWaitDescriptors(fds, stop, wake, m_link.Socket(), what);
        WaitResult result;
        if (connecting) {
            // The device is ready, or gone, once the connecting ends; it is
            // looked at again when the device gives up on the connector.
            fds[2] = {static_cast<int>(m_connection->settled.Handle()), POLLIN, 0};
            const auto giveUp = std::chrono::ceil<std::chrono::milliseconds>(m_giveUpAt - Clock::now());
            if (what != DeviceWait::None && (timeout == kWaitForever || timeout > giveUp)) timeout = giveUp;
        } else if (m_link.IsGone() && what != DeviceWait::None) {
            result.deviceGone = true;
            return result;
        } else if (!m_link.Received().empty() &&
                   (what == DeviceWait::Readable || what == DeviceWait::ReadableOrWritable)) {
            // Data decoded while the option was being settled is input waiting.
            result.deviceReady = true;
            return result;
        } else if (const auto held = (fds[2].events & POLLOUT) ? DataHeldFor(Clock::now()) : kZero;
                   (fds[2].events & POLLOUT) && (held > kZero || m_link.IsGone())) {
            // Room in the socket is no room for data while the server is
            // ahead of its line (or has the settings to answer): looked at
            // again once it may have more.
            if (m_link.IsGone()) {
                result.deviceGone = true;
                return result;
            }
            fds[2].events &= static_cast<short>(~POLLOUT);
            const auto look = std::max(std::chrono::ceil<std::chrono::milliseconds>(held),
                                       std::chrono::milliseconds(1));
            if (timeout == kWaitForever || timeout > look) timeout = look;
        } else if ((fds[2].events & POLLOUT) && !m_link.HasPending() && m_link.Unsent() >= kWritableBelow) {
            // A socket reports room long before its queue is as short as
            // Ready asks: while the server holds the queue up, room is
            // looked for again after a while instead of being reported at
            // once, over and over.
            fds[2].events &= static_cast<short>(~POLLOUT);
            if (timeout == kWaitForever || timeout > kQueueLook) timeout = kQueueLook;
        }
    }
    WaitResult result = PollWait(fds, what == DeviceWait::None ? 2 : 3, timeout);
    if (connecting && what != DeviceWait::None && !result.stopped && !result.woken) {
        std::lock_guard lock(m_link.mutex);
        const bool still = StillConnecting();
        result.deviceGone = m_link.IsGone();
        result.deviceReady = !still && !result.deviceGone;
        result.timedOut = still;
    }
    return result;
}

SerialDevice::Readiness NetworkDevice::Ready() const {
    std::lock_guard lock(m_link.mutex);
    Readiness result;
    if (StillConnecting()) return result;
    if (!m_link.Push()) {
        result.gone = true;
        return result;
    }
    pollfd fd{m_link.Socket(), POLLIN | POLLOUT, 0};
    if (::poll(&fd, 1, 0) != 1) return result;
    result.gone = (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    result.readable = ((fd.revents & POLLIN) != 0 || !m_link.Received().empty()) && !result.gone;
    result.writable = (fd.revents & POLLOUT) != 0 && !result.gone && !m_link.HasPending() &&
                      m_link.Unsent() < kWritableBelow && DataHeldFor(Clock::now()) == kZero;
    result.gone = result.gone || m_link.IsGone();
    return result;
}

bool NetworkDevice::GetState(CommState& state) const {
    std::lock_guard lock(m_link.mutex);
    state = m_link.State();
    return true;
}

bool NetworkDevice::SetState(const CommState& state, std::string& notTaken) {
    notTaken.clear();
    if (!IsKnownBaudRate(state.baudRate) || !IsValidFraming(state)) {
        notTaken = "line settings";
        errno = EINVAL;
        return false;
    }
    std::lock_guard lock(m_link.mutex);
    m_serverLine.SetLine(state.baudRate, static_cast<uint8_t>(state.parity), state.dataBits,
                         state.stopBits == StopBits::One ? 1 : 2);
    // Sent now, or as soon as the server has taken the option; its answers
    // replace the values asked for as they arrive.
    m_link.AskSettings(state);
    if (m_link.UsesTelnet() && m_link.ComPortRefused()) {
        notTaken = "line settings (the server does not take them over the network)";
        errno = EINVAL;
        return false;
    }
    return PushOrFail();
}

bool NetworkDevice::PurgeServer(unsigned char what) {
    std::lock_guard lock(m_link.mutex);
    m_link.SendPurge(what);  // where the option is not taken, the server's buffers are out of reach
    return PushOrFail();
}

bool NetworkDevice::Drain() {
    std::lock_guard lock(m_link.mutex);
    return PushOrFail();
}

bool NetworkDevice::DrainUntil(std::chrono::steady_clock::time_point deadline) {
    // The socket has no drain call: what it still holds is watched until it
    // has gone.
    const bool emptied = WatchQueueUntil(deadline, [this](bool& empty) {
        std::lock_guard lock(m_link.mutex);
        if (!PushOrFail()) return false;
        empty = m_link.Unsent() == 0;
        return true;
    });
    if (!emptied) return false;
    // The server has it all, but still puts it on its line at the line
    // rate, and may drop what it holds when the connection closes: the
    // wait goes on until the last byte should have left it (or the
    // connection goes, or deadline: this is an estimate, not a failure).
    int socket;
    Clock::time_point until;
    {
        std::lock_guard lock(m_link.mutex);
        socket = m_link.Socket();
        until = std::min(m_serverLine.FreeAt(), deadline);
    }
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0) return true;
        pollfd fd{socket, 0, 0};  // hang-up and errors only
        const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
        if (ready > 0) return true;  // gone: nothing more leaves
        if (ready < 0 && errno != EINTR) return true;
    }
}

bool NetworkDevice::OutputWaiting(uint32_t& count) const {
    std::lock_guard lock(m_link.mutex);
    // Looking is also when bytes left waiting for room move on.
    if (!PushOrFail()) return false;
    // What the server still puts on its line counts as the output queue of
    // a UART does: a block has left once the line has carried it.
    count = m_link.Unsent() + static_cast<uint32_t>(m_serverLine.BytesOnLine());
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
    std::lock_guard lock(m_link.mutex);
    m_link.SendControl(control);  // without the option there are no modem lines to reach
    return PushOrFail();
}

bool NetworkDevice::GetModemStatus(uint32_t& status) const {
    std::lock_guard lock(m_link.mutex);
    status = m_link.ModemState();
    return true;
}

bool NetworkDevice::AwaitConnection(PortFailure& failure) {
    for (;;) {
        {
            std::lock_guard lock(m_link.mutex);
            if (!StillConnecting()) {
                if (!m_link.IsGone()) return true;
                failure = m_link.OpenFailure();
                if (failure.kind == PortFailureKind::None)  // it came up, and went at once
                    failure = PortFailure{PortFailureKind::Other, m_link.GoneError(),
                                          std::strerror(m_link.GoneError()), "connect()"};
                return false;
            }
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_giveUpAt - Clock::now());
        pollfd fd{static_cast<int>(m_connection->settled.Handle()), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
    }
}

PortFailure NetworkDevice::OpenFailure() const {
    std::lock_guard lock(m_link.mutex);
    return m_link.OpenFailure();
}

// "HOST:PORT" of an address, split; false when it has no port, or one
// outside 1-65535 (which the system would otherwise take modulo 65536, and
// so reach another port).
bool SplitAddress(const std::string& hostAndPort, std::string& host, std::string& port) {
    const size_t colon = hostAndPort.rfind(':');
    if (colon == std::string::npos || colon + 1 >= hostAndPort.size()) return false;
    host = hostAndPort.substr(0, colon);
    port = hostAndPort.substr(colon + 1);
    // "[::1]:4001": the brackets only set the port apart.
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    while (!port.empty() && port.back() == '/') port.pop_back();
    if (host.empty() || port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long number = std::stol(port);
    return number >= 1 && number <= 65535;
}

}  // namespace

std::unique_ptr<SerialDevice> OpenNetworkDevice(const PortTarget& target, PortFailure& failure) {
    failure = PortFailure{};
    const auto started = Clock::now();
    const size_t scheme = target.path.find("://");
    const std::string hostAndPort = scheme == std::string::npos ? target.path : target.path.substr(scheme + 3);
    std::string host, port;
    if (!SplitAddress(hostAndPort, host, port)) {
        failure = PortFailure{PortFailureKind::Other, EINVAL,
                              "the address " + target.path + " is not HOST:PORT with a port of 1-65535",
                              "connect() to " + hostAndPort};
        return nullptr;
    }
    auto connection = std::make_shared<Connection>(target.kind == PortTargetKind::Rfc2217);
    if (!connection->settled.IsValid() || !connection->abandoned.IsValid()) {
        const int error = errno;
        failure = PortFailure{PortFailureKind::Other, error, std::strerror(error), kSystemCalls.createEvent};
        return nullptr;
    }
    connection->link.SetConnectCall("getaddrinfo() of " + host);
    try {
        std::thread(Connect, connection, host, port, hostAndPort, started + kNetworkConnectTimeout).detach();
    } catch (const std::system_error& error) {
        failure = PortFailure{PortFailureKind::Other, error.code().value(), error.what(), "a thread to connect"};
        return nullptr;
    }
    return std::make_unique<NetworkDevice>(connection, started + kNetworkConnectTimeout + kLookupMargin);
}

}  // namespace quorlin
