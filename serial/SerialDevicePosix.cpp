// POSIX back end of the port's device seam: termios on a tty descriptor,
// an eventfd for wake-ups, poll() to wait on both.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "serial/LineSettings.h"
#include "serial/PollWait.h"
#include "serial/TermiosSettings.h"
#include "serial/SerialDevice.h"

namespace quorlin {
namespace {

// Errors that mean the device itself has gone away rather than one call
// having failed.
bool IsDeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

IoResult FromSystem(ssize_t result) {
    if (result >= 0) return {IoStatus::Done, static_cast<size_t>(result), 0};
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)
        return {IoStatus::WouldBlock, 0, error};
    return {IsDeviceGone(error) ? IoStatus::Lost : IoStatus::Failed, 0, error};
}

// Pseudo-terminal slaves (Unix 98 majors 136-143) pass every byte on as it
// is written: they have no output queue to ask about.
bool IsPtySlave(int handle) {
    struct stat info;
    if (::fstat(handle, &info) != 0 || !S_ISCHR(info.st_mode)) return false;
    const unsigned major = ::major(info.st_rdev);
    return major >= 136 && major <= 143;
}

// The kind of an open() failure, from the system's error number.
PortFailureKind OpenErrorKind(int error) {
    switch (error) {
        case ENOENT: case ENXIO: case ENODEV: case EIO: case ENOTDIR: case ELOOP:
            return PortFailureKind::NotFound;  // no device (or no hardware) behind the name
        case EBUSY: case EWOULDBLOCK:
            return PortFailureKind::InUse;  // TIOCEXCL or the lock of another opener
        case EACCES: case EPERM: case EROFS:
            return PortFailureKind::PermissionDenied;
        case EISDIR: case ENOTTY:
            return PortFailureKind::NotSerialDevice;
        default:
            return PortFailureKind::Other;
    }
}

// A tty (or a pty slave) by its descriptor.
class PosixSerialDevice final : public SerialDevice {
public:
    PosixSerialDevice(int handle, bool hasOutputQueue) : m_handle(handle), m_hasOutputQueue(hasOutputQueue) {}
    ~PosixSerialDevice() override;

    IoResult ReadSome(void* buffer, size_t size) override;
    IoResult WriteSome(const void* data, size_t size) override;
    WaitResult Wait(const WakeEvent& stop, const WakeEvent& wake, DeviceWait what,
                    std::chrono::milliseconds timeout) const override;
    Readiness Ready() const override;
    bool GetState(CommState& state) const override;
    bool SetState(const CommState& state, std::string& notTaken) override;
    bool SetQueueSizes(uint32_t inputSize, uint32_t outputSize) override;
    bool Purge() override;
    bool PurgeOutput() override;
    bool PurgeInput() override;
    bool Drain() override;
    bool DrainUntil(std::chrono::steady_clock::time_point deadline) override;
    bool OutputWaiting(uint32_t& count) const override;
    bool Escape(uint32_t code) override;
    bool GetModemStatus(uint32_t& status) const override;

private:
    const int m_handle;
    const bool m_hasOutputQueue;
};

}  // namespace

WaitResult PollWait(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout) {
    WaitResult result;
    int ready;
    while ((ready = ::poll(fds, count, static_cast<int>(timeout.count()))) < 0) {
        if (errno != EINTR) {
            // Nothing sensible to wait on; report as gone so that the caller
            // stops using the device instead of spinning.
            result.deviceGone = true;
            return result;
        }
    }
    result.timedOut = ready == 0;
    result.stopped = (fds[0].revents & POLLIN) != 0;
    result.woken = (fds[1].revents & POLLIN) != 0;
    if (count == 3) {
        result.deviceReady = (fds[2].revents & fds[2].events) != 0;
        result.deviceGone = (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
    return result;
}

const SystemCallNames kSystemCalls{"eventfd()", "open()", "tcsetattr()"};

int LastSystemError() { return errno; }

std::string SystemErrorText(int error) { return std::strerror(error); }

WakeEvent::WakeEvent() : m_handle(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent() {
    if (m_handle >= 0) ::close(static_cast<int>(m_handle));
}

bool WakeEvent::IsValid() const { return m_handle >= 0; }

void WakeEvent::Signal() {
    const uint64_t one = 1;
    // Only fails when the counter is saturated, which still means signalled.
    [[maybe_unused]] ssize_t ignored = ::write(m_handle, &one, sizeof one);
}

void WakeEvent::Clear() {
    uint64_t value;
    [[maybe_unused]] ssize_t ignored = ::read(m_handle, &value, sizeof value);
}

std::unique_ptr<SerialDevice> OpenLocalDevice(const std::string& path, PortFailure& failure) {
    failure = PortFailure{};
    const auto fail = [&failure](PortFailureKind kind, int error, const char* operation) {
        failure.kind = kind;
        failure.systemError = error;
        failure.systemText = std::strerror(error);
        failure.operation = operation;
        return nullptr;
    };
    // Only a character device can be a serial line; anything else (a plain
    // file, a folder, a named pipe, whose open could wait for a writer) is
    // refused before it is opened.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        return fail(error == EACCES ? PortFailureKind::PermissionDenied : PortFailureKind::NotFound,
                    error, "stat()");
    }
    if (!S_ISCHR(info.st_mode)) return fail(PortFailureKind::NotSerialDevice, ENOTTY, "stat()");
    const int handle = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        const int error = errno;
        return fail(OpenErrorKind(error), error, "open()");
    }
    termios tio;
    if (::tcgetattr(handle, &tio) != 0) {  // a character device, but no tty
        const int error = errno;
        ::close(handle);
        return fail(error == ENOTTY || error == EINVAL ? PortFailureKind::NotSerialDevice
                                                       : OpenErrorKind(error),
                    error, "tcgetattr()");
    }
    // TIOCEXCL keeps other users out but not the superuser, and the tests
    // and many service laptops run as root; the lock on the open file holds
    // for everyone who opens the device through this class.
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(handle);
        return fail(OpenErrorKind(error), error, "flock()");
    }
    ::ioctl(handle, TIOCEXCL);
    return std::make_unique<PosixSerialDevice>(handle, !IsPtySlave(handle));
}

PosixSerialDevice::~PosixSerialDevice() {
    // The exclusive flag lives on the tty, which a pty keeps while its master
    // is open: clear it so that the next opener is not refused.
    ::ioctl(m_handle, TIOCNXCL);
    ::close(m_handle);  // also releases the lock
}

IoResult PosixSerialDevice::ReadSome(void* buffer, size_t size) {
    // 0 bytes is not end-of-file here: with VMIN 0 an empty tty reads 0 even
    // without O_NONBLOCK. A hang-up shows in Wait as deviceGone.
    return FromSystem(::read(m_handle, buffer, size));
}

IoResult PosixSerialDevice::WriteSome(const void* data, size_t size) {
    if (size == 0) return {};
    return FromSystem(::write(m_handle, data, size));
}

WaitResult PosixSerialDevice::Wait(const WakeEvent& stop, const WakeEvent& wake, DeviceWait what,
                              std::chrono::milliseconds timeout) const {
    pollfd fds[3];
    FillWaitDescriptors(fds, stop, wake, m_handle, what);
    return PollWait(fds, what == DeviceWait::None ? 2 : 3, timeout);
}

WaitResult WaitForEvents(const WakeEvent& stop, const WakeEvent& wake, const WakeEvent& ready,
                         std::chrono::milliseconds timeout) {
    pollfd fds[3] = {{static_cast<int>(stop.Handle()), POLLIN, 0},
                     {static_cast<int>(wake.Handle()), POLLIN, 0},
                     {static_cast<int>(ready.Handle()), POLLIN, 0}};
    return PollWait(fds, 3, timeout);
}

PosixSerialDevice::Readiness PosixSerialDevice::Ready() const {
    pollfd fd{static_cast<int>(m_handle), POLLIN | POLLOUT, 0};
    Readiness result;
    if (::poll(&fd, 1, 0) != 1) return result;
    result.gone = (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    result.readable = (fd.revents & POLLIN) != 0 && !result.gone;
    result.writable = (fd.revents & POLLOUT) != 0 && !result.gone;
    return result;
}

bool PosixSerialDevice::GetState(CommState& state) const {
    termios tio;
    if (::tcgetattr(m_handle, &tio) != 0) return false;
    state = CommStateFromTermios(tio);
    return true;
}

bool PosixSerialDevice::SetState(const CommState& state, std::string& notTaken) {
    notTaken.clear();
    termios asked;
    if (::tcgetattr(m_handle, &asked) != 0) return false;
    if (!CommStateToTermios(state, asked)) {
        notTaken = "line settings";
        errno = EINVAL;
        return false;
    }
    // The C library reports EINVAL when the device kept 8 bits or no parity
    // (a pty does, from its second session on) although every other setting
    // was applied: what counts is what the device reads back.
    if (::tcsetattr(m_handle, TCSANOW, &asked) != 0 && errno != EINVAL) return false;
    termios got;
    if (::tcgetattr(m_handle, &got) != 0) return false;
    notTaken = SettingsNotTaken(asked, got);
    if (notTaken.empty()) return true;
    errno = EINVAL;
    return false;
}

// Succeeds on purpose: a tty sizes its own queues, and the port keeps the
// request for GetProperties.
bool PosixSerialDevice::SetQueueSizes(uint32_t, uint32_t) { return true; }

bool PosixSerialDevice::Purge() { return ::tcflush(m_handle, TCIOFLUSH) == 0; }

bool PosixSerialDevice::PurgeOutput() { return ::tcflush(m_handle, TCOFLUSH) == 0; }

bool PosixSerialDevice::PurgeInput() { return ::tcflush(m_handle, TCIFLUSH) == 0; }

bool PosixSerialDevice::Drain() {
    int result;
    do {
        result = ::tcdrain(m_handle);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool PosixSerialDevice::DrainUntil(std::chrono::steady_clock::time_point deadline) {
    // tcdrain has no time-out and a line held by CTS keeps it waiting for
    // good; the queue is therefore watched here and tcdrain is left only
    // the bytes in the transmitter, which a UART driver waits for within a
    // bounded time.
    const bool emptied = WatchQueueUntil(deadline, [this](bool& empty) {
        uint32_t queued = 0;
        if (!OutputWaiting(queued)) return false;
        empty = queued == 0;
        return true;
    });
    return emptied && Drain();
}

bool WatchQueueUntil(std::chrono::steady_clock::time_point deadline, const std::function<bool(bool& empty)>& look) {
    constexpr auto kLongestLook = std::chrono::milliseconds(20);
    for (;;) {
        bool empty = false;
        if (!look(empty)) return false;
        if (empty) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            errno = ETIMEDOUT;
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        ::poll(nullptr, 0, static_cast<int>(std::min(left, kLongestLook).count()));
    }
}

bool PosixSerialDevice::OutputWaiting(uint32_t& count) const {
    if (!m_hasOutputQueue) {
        count = 0;
        return true;
    }
    int value = 0;
    if (::ioctl(m_handle, TIOCOUTQ, &value) != 0) return false;
    count = static_cast<uint32_t>(value);
    return true;
}

bool PosixSerialDevice::Escape(uint32_t code) {
    int line = 0;
    switch (code) {
        case SETXOFF: return ::tcflow(m_handle, TCOOFF) == 0;
        case SETXON: return ::tcflow(m_handle, TCOON) == 0;
        case SETRTS: line = TIOCM_RTS; return ::ioctl(m_handle, TIOCMBIS, &line) == 0;
        case CLRRTS: line = TIOCM_RTS; return ::ioctl(m_handle, TIOCMBIC, &line) == 0;
        case SETDTR: line = TIOCM_DTR; return ::ioctl(m_handle, TIOCMBIS, &line) == 0;
        case CLRDTR: line = TIOCM_DTR; return ::ioctl(m_handle, TIOCMBIC, &line) == 0;
        case SETBREAK: return ::ioctl(m_handle, TIOCSBRK) == 0;
        case CLRBREAK: return ::ioctl(m_handle, TIOCCBRK) == 0;
        default: errno = EINVAL; return false;
    }
}

bool PosixSerialDevice::GetModemStatus(uint32_t& status) const {
    int lines = 0;
    if (::ioctl(m_handle, TIOCMGET, &lines) != 0) return false;
    status = 0;
    if (lines & TIOCM_CTS) status |= MS_CTS_ON;
    if (lines & TIOCM_DSR) status |= MS_DSR_ON;
    if (lines & TIOCM_RI) status |= MS_RING_ON;
    if (lines & TIOCM_CD) status |= MS_RLSD_ON;
    return true;
}

}  // namespace quorlin
