// Win32 back end of the port's device seam: the comm calls on a handle
// opened for overlapped I/O, manual-reset events for wake-ups, and
// WaitForMultipleObjects to wait on the events and the device together.
//
// The seam's calls do not wait; overlapped requests let them keep that:
// - Input: ClearCommError tells how many bytes the driver holds and ReadFile
//   asks for no more than that, so the read completes at once. (The read
//   time-outs return at once too, but a read for more than is queued can stay
//   pending on some drivers, and an unfinished read would hold the bytes it
//   takes later.)
// - Output: one WriteFile at a time is outstanding. Its bytes count as taken,
//   as a tty's kernel queue takes them, and the device is writable again when
//   the request completes.
// - Input readiness: one overlapped WaitCommEvent for EV_RXCHAR is kept
//   outstanding while a thread waits for input; its completion is what
//   poll()'s POLLIN is on the POSIX side.
// Output flow by XON/XOFF is the port's own on every platform (it stops
// within one small piece and removes DC1/DC3 from the input), so the driver's
// fOutX stays off; fInX is the driver's.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/LineSettings.h"
#include "serial/SerialDevice.h"

namespace quorlin {
namespace {

// The comm events the device is watched for: a byte arrived.
constexpr DWORD kWatchedEvents = EV_RXCHAR;
// How long DrainUntil sleeps at most between two looks at the output queue.
constexpr DWORD kLongestDrainLookMs = 20;
// DCB parity values in the order of the parity letters n, o, e, m, s, and
// stop-bit values in the order of StopBits.
constexpr char kParityLetters[] = "noems";
constexpr const char* kStopBitsTexts[] = {"1", "1.5", "2"};

thread_local int t_lastError = 0;

// Errors that mean the device itself has gone away (an adapter unplugged, a
// driver that stopped) rather than one call having failed.
bool IsDeviceGone(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:  // what an unplugged USB adapter's handle answers
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NOT_READY:
        case ERROR_INVALID_HANDLE:
        case ERROR_IO_DEVICE:
        case ERROR_BROKEN_PIPE:
        case ERROR_FILE_NOT_FOUND:
            return true;
        default:
            return false;
    }
}

// The errno the portable layers look at for a Windows error.
int ErrnoOf(DWORD error) {
    if (IsDeviceGone(error)) return EIO;
    switch (error) {
        case ERROR_INVALID_PARAMETER: return EINVAL;
        case ERROR_INVALID_FUNCTION: case ERROR_NOT_SUPPORTED: return ENOTTY;
        case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return ENOENT;
        case ERROR_SHARING_VIOLATION: case ERROR_BUSY: return EBUSY;
        case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_TIMEOUT: return ETIMEDOUT;
        default: return EPROTO;
    }
}

// Keeps error as this thread's last system error (for LastSystemError) and
// its errno for the portable layers.
void Remember(DWORD error) {
    t_lastError = static_cast<int>(error);
    errno = ErrnoOf(error);
}

// Remembers the calling thread's last error; for a failed call's result.
bool Failed() {
    Remember(::GetLastError());
    return false;
}

IoResult IoFailure(DWORD error) {
    Remember(error);
    return {IsDeviceGone(error) ? IoStatus::Lost : IoStatus::Failed, 0, static_cast<int>(error)};
}

// The kind of a CreateFile failure. A COM port that another program holds
// answers "access denied": on Windows that is the port in use, not a right
// the user lacks.
PortFailureKind OpenErrorKind(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME: case ERROR_DEV_NOT_EXIST: case ERROR_BAD_UNIT:
        case ERROR_NOT_READY: case ERROR_DEVICE_NOT_CONNECTED:
            return PortFailureKind::NotFound;
        case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
        case ERROR_BUSY:
            return PortFailureKind::InUse;
        case ERROR_PRIVILEGE_NOT_HELD:
            return PortFailureKind::PermissionDenied;
        case ERROR_INVALID_FUNCTION: case ERROR_NOT_SUPPORTED:
            return PortFailureKind::NotSerialDevice;
        default:
            return PortFailureKind::Other;
    }
}

HANDLE AsHandle(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }

HANDLE NewManualResetEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

CommState CommStateFromDcb(const DCB& dcb) {
    CommState state;
    state.baudRate = dcb.BaudRate;
    state.parity = dcb.Parity < sizeof kParityLetters - 1 ? kParityLetters[dcb.Parity] : 'n';
    state.dataBits = dcb.ByteSize;
    state.stopBits = dcb.StopBits == ONE5STOPBITS ? StopBits::OnePointFive
                     : dcb.StopBits == TWOSTOPBITS ? StopBits::Two
                                                   : StopBits::One;
    state.outxCtsFlow = dcb.fOutxCtsFlow;
    state.outxDsrFlow = dcb.fOutxDsrFlow;
    state.rtsControl = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ? LineControl::Handshake
                                                                : LineControl::Unchanged;
    state.dtrControl = dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ? LineControl::Handshake
                                                                : LineControl::Unchanged;
    state.outX = dcb.fOutX;
    state.inX = dcb.fInX;
    state.xonChar = static_cast<uint8_t>(dcb.XonChar);
    state.xoffChar = static_cast<uint8_t>(dcb.XoffChar);
    state.xonLim = dcb.XonLim;
    state.xoffLim = dcb.XoffLim;
    state.dsrSensitivity = dcb.fDsrSensitivity;
    state.discardNulls = dcb.fNull;
    return state;
}

// The settings of asked that got (read back after SetCommState) lacks, ""
// when none. A device that carries 8-bit characters without parity whatever
// it is told has done the nearest it can for fewer bits or parity.
std::string DcbNotTaken(const DCB& asked, const DCB& got) {
    std::string missing;
    const auto note = [&missing](const char* what) {
        if (!missing.empty()) missing += ", ";
        missing += what;
    };
    if (asked.BaudRate != got.BaudRate) note("baud rate");
    // A parity value outside the DCB's range is one the driver could not read
    // back from a line that has none (Wine on a pty answers 7).
    const bool eightBitsPlain = got.ByteSize == 8 && (got.Parity == NOPARITY || got.Parity > SPACEPARITY);
    if (asked.ByteSize != got.ByteSize && !eightBitsPlain) note("data bits");
    if (asked.Parity != got.Parity && !eightBitsPlain) note("parity");
    if (asked.StopBits != got.StopBits) note("stop bits");
    if (asked.fOutxCtsFlow != got.fOutxCtsFlow || asked.fOutxDsrFlow != got.fOutxDsrFlow ||
        (asked.fRtsControl == RTS_CONTROL_HANDSHAKE) != (got.fRtsControl == RTS_CONTROL_HANDSHAKE) ||
        (asked.fDtrControl == DTR_CONTROL_HANDSHAKE) != (got.fDtrControl == DTR_CONTROL_HANDSHAKE))
        note("hardware flow control");
    if (asked.fInX != got.fInX || asked.fOutX != got.fOutX) note("XON/XOFF flow control");
    if (asked.fInX && (asked.XonChar != got.XonChar || asked.XoffChar != got.XoffChar))
        note("XON/XOFF characters");
    return missing;
}

// One overlapped request and its completion event. Neither moves while the
// request is outstanding: Platform lives on the heap for the device's life.
struct OverlappedRequest {
    OVERLAPPED overlapped{};
    HANDLE event = nullptr;
    bool pending = false;
    DWORD failedGone = 0;  // a write that ended with the device gone

    void Prepare() {
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event;
        ::ResetEvent(event);
    }
    bool Finished() const { return ::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }
};

// A COM device by its overlapped handle, with the requests it keeps
// outstanding.
class Win32SerialDevice final : public SerialDevice {
public:
    struct Platform;
    Win32SerialDevice(HANDLE handle, std::unique_ptr<Platform> platform);
    ~Win32SerialDevice() override;

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
    const NativeHandle m_handle;
    const std::unique_ptr<Platform> m_platform;
};

struct Win32SerialDevice::Platform {
    ~Platform() {
        for (HANDLE event : {read.event, write.event, commWait.event})
            if (event) ::CloseHandle(event);
    }
    bool IsValid() const { return read.event && write.event && commWait.event; }

    std::mutex readLock;  // ReadSome's request
    OverlappedRequest read;
    std::mutex writeLock;  // the outstanding write and its bytes
    OverlappedRequest write;
    std::vector<uint8_t> writeBytes;
    std::mutex commLock;  // the outstanding comm-event wait
    OverlappedRequest commWait;
    DWORD commEvents = 0;
    // The comm-event wait's event was seen signalled while its result still
    // said "incomplete" (Wine sets the event before the status): the wait is
    // still outstanding, and is looked at again every kStaleCommWaitMs
    // instead of waiting on its event, which would return at once.
    bool commWaitStale = false;
};

constexpr DWORD kStaleCommWaitMs = 1;

}  // namespace

const SystemCallNames kSystemCalls{"CreateEvent()", "CreateFile()", "SetCommState()"};

int LastSystemError() { return t_lastError; }

std::string SystemErrorText(int error) {
    char text[512];
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, static_cast<DWORD>(error),
                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text,
                                    nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == ' ' || text[length - 1] == '.'))
        --length;
    if (length == 0) return "Windows error " + std::to_string(error);
    return std::string(text, length);
}

WakeEvent::WakeEvent() : m_handle(reinterpret_cast<NativeHandle>(NewManualResetEvent())) {
    if (m_handle == 0) Remember(::GetLastError());
}

WakeEvent::~WakeEvent() {
    if (m_handle != 0) ::CloseHandle(AsHandle(m_handle));
}

bool WakeEvent::IsValid() const { return m_handle != 0; }

void WakeEvent::Signal() { ::SetEvent(AsHandle(m_handle)); }

void WakeEvent::Clear() { ::ResetEvent(AsHandle(m_handle)); }

Win32SerialDevice::Win32SerialDevice(HANDLE handle, std::unique_ptr<Platform> platform)
    : m_handle(reinterpret_cast<NativeHandle>(handle)), m_platform(std::move(platform)) {}

std::unique_ptr<SerialDevice> OpenLocalDevice(const std::string& path, PortFailure& failure) {
    failure = PortFailure{};
    const auto fail = [&failure](PortFailureKind kind, DWORD error, const char* operation) {
        Remember(error);
        failure.kind = kind;
        failure.systemError = static_cast<int>(error);
        failure.systemText = SystemErrorText(static_cast<int>(error));
        failure.operation = operation;
        return nullptr;
    };
    // Exclusive (no sharing), an existing device, overlapped.
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return fail(OpenErrorKind(error), error, "CreateFile()");
    }
    const auto closeAndFail = [&](PortFailureKind kind, const char* operation) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        return fail(kind, error, operation);
    };
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb)) return closeAndFail(PortFailureKind::NotSerialDevice, "GetCommState()");

    auto platform = std::make_unique<Win32SerialDevice::Platform>();
    platform->read.event = NewManualResetEvent();
    platform->write.event = NewManualResetEvent();
    platform->commWait.event = NewManualResetEvent();
    if (!platform->IsValid()) return closeAndFail(PortFailureKind::Other, "CreateEvent()");

    // Reads return at once with what is queued; writes have no time-out.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(handle, &timeouts)) return closeAndFail(PortFailureKind::Other, "SetCommTimeouts()");
    // The mask stays for the device's life: changing it would end a wait
    // that another thread has outstanding.
    if (!::SetCommMask(handle, kWatchedEvents)) return closeAndFail(PortFailureKind::Other, "SetCommMask()");
    return std::make_unique<Win32SerialDevice>(handle, std::move(platform));
}

Win32SerialDevice::~Win32SerialDevice() {
    // No completion may arrive after the requests' memory is gone: cancel
    // what is outstanding and wait until each request has ended.
    // Wine does not cancel a comm-event wait with CancelIoEx, but every
    // system ends it when the event mask changes.
    HANDLE handle = AsHandle(m_handle);
    ::SetCommMask(handle, 0);
    ::CancelIoEx(handle, nullptr);
    for (OverlappedRequest* request : {&m_platform->write, &m_platform->commWait}) {
        if (!request->pending) continue;
        DWORD ignored = 0;
        ::GetOverlappedResult(handle, &request->overlapped, &ignored, TRUE);
    }
    ::CloseHandle(handle);
}

IoResult Win32SerialDevice::ReadSome(void* buffer, size_t size) {
    HANDLE handle = AsHandle(m_handle);
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handle, &errors, &status)) return IoFailure(::GetLastError());
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(size, status.cbInQue));
    if (wanted == 0) return {IoStatus::WouldBlock, 0, 0};

    std::lock_guard lock(m_platform->readLock);
    OverlappedRequest& read = m_platform->read;
    read.Prepare();
    DWORD got = 0;
    if (!::ReadFile(handle, buffer, wanted, &got, &read.overlapped)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) return IoFailure(error);
        // The bytes are queued: this completes at once.
        if (!::GetOverlappedResult(handle, &read.overlapped, &got, TRUE))
            return IoFailure(::GetLastError());
    }
    return {IoStatus::Done, got, 0};
}

namespace {

// Ends a finished write request: false (error set) when it failed. A write
// that failed because the device went away is remembered: its bytes did not
// leave, and the queue's state must say so.
bool CollectWrite(HANDLE handle, OverlappedRequest& write, DWORD& error) {
    write.pending = false;
    DWORD written = 0;
    if (::GetOverlappedResult(handle, &write.overlapped, &written, FALSE)) return true;
    error = ::GetLastError();
    if (IsDeviceGone(error)) write.failedGone = error;
    // A purge aborts a write on purpose: that is no failure of the device.
    return error == ERROR_OPERATION_ABORTED;
}

}  // namespace

IoResult Win32SerialDevice::WriteSome(const void* data, size_t size) {
    if (size == 0) return {};
    HANDLE handle = AsHandle(m_handle);
    std::lock_guard lock(m_platform->writeLock);
    OverlappedRequest& write = m_platform->write;
    if (write.pending) {
        if (!write.Finished()) return {IoStatus::WouldBlock, 0, 0};
        DWORD error = 0;
        if (!CollectWrite(handle, write, error)) return IoFailure(error);
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    m_platform->writeBytes.assign(bytes, bytes + size);
    write.Prepare();
    DWORD written = 0;
    if (::WriteFile(handle, m_platform->writeBytes.data(), static_cast<DWORD>(size), &written,
                    &write.overlapped))
        return {IoStatus::Done, written, 0};
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) return IoFailure(error);
    write.pending = true;  // taken: the driver sends it on its own
    return {IoStatus::Done, size, 0};
}

WaitResult Win32SerialDevice::Wait(const WakeEvent& stop, const WakeEvent& wake, DeviceWait what,
                              std::chrono::milliseconds timeout) const {
    HANDLE handle = AsHandle(m_handle);
    HANDLE handles[4] = {AsHandle(stop.Handle()), AsHandle(wake.Handle())};
    DWORD count = 2;
    WaitResult result;
    bool watchCommWait = false, watchWrite = false;

    if (what == DeviceWait::Readable || what == DeviceWait::ReadableOrWritable) {
        std::lock_guard lock(m_platform->commLock);
        OverlappedRequest& commWait = m_platform->commWait;
        if (!commWait.pending) {
            commWait.Prepare();
            m_platform->commEvents = 0;
            if (::WaitCommEvent(handle, &m_platform->commEvents, &commWait.overlapped)) {
                result.deviceReady = true;
            } else {
                const DWORD error = ::GetLastError();
                if (error == ERROR_IO_PENDING) {
                    commWait.pending = true;
                } else {
                    // A device whose events cannot be watched gives no more
                    // input: report it gone rather than wait for ever.
                    Remember(error);
                    result.deviceGone = true;
                }
            }
        }
        if (commWait.pending) {
            if (!m_platform->commWaitStale) handles[count++] = commWait.event;
            watchCommWait = true;
        }
        // Bytes that came before the wait was started do not end it.
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle, &errors, &status)) {
            Remember(::GetLastError());
            if (IsDeviceGone(::GetLastError())) result.deviceGone = true;
        } else if (status.cbInQue > 0) {
            result.deviceReady = true;
        }
    }
    if (what == DeviceWait::Writable || what == DeviceWait::ReadableOrWritable) {
        std::lock_guard lock(m_platform->writeLock);
        if (m_platform->write.pending && !m_platform->write.Finished()) {
            handles[count++] = m_platform->write.event;
            watchWrite = true;
        } else {
            result.deviceReady = true;
        }
    }

    DWORD waitMs = timeout.count() < 0 ? INFINITE : static_cast<DWORD>(timeout.count());
    if (watchCommWait && m_platform->commWaitStale) waitMs = std::min(waitMs, kStaleCommWaitMs);
    if (result.deviceReady || result.deviceGone) waitMs = 0;
    const DWORD outcome = ::WaitForMultipleObjects(count, handles, FALSE, waitMs);
    if (outcome == WAIT_FAILED) {
        Remember(::GetLastError());
        result.deviceGone = true;  // nothing sensible to wait on
        return result;
    }
    result.timedOut = outcome == WAIT_TIMEOUT && !result.deviceReady && !result.deviceGone;
    result.stopped = ::WaitForSingleObject(handles[0], 0) == WAIT_OBJECT_0;
    result.woken = ::WaitForSingleObject(handles[1], 0) == WAIT_OBJECT_0;

    if (watchCommWait) {
        std::lock_guard lock(m_platform->commLock);
        OverlappedRequest& commWait = m_platform->commWait;
        if (commWait.pending && commWait.Finished()) {
            DWORD ignored = 0;
            const bool done = ::GetOverlappedResult(handle, &commWait.overlapped, &ignored, FALSE);
            const DWORD error = done ? ERROR_SUCCESS : ::GetLastError();
            m_platform->commWaitStale = error == ERROR_IO_INCOMPLETE;
            if (!m_platform->commWaitStale) {
                commWait.pending = false;
                if (error == ERROR_SUCCESS || error == ERROR_OPERATION_ABORTED) {
                    result.deviceReady = true;  // (aborted: look again)
                } else {
                    Remember(error);
                    result.deviceGone = true;
                }
            }
        }
    }
    if (watchWrite) {
        std::lock_guard lock(m_platform->writeLock);
        OverlappedRequest& write = m_platform->write;
        if (!write.pending) {
            result.deviceReady = true;  // ended by a purge meanwhile
        } else if (write.Finished()) {
            DWORD error = 0;
            if (CollectWrite(handle, write, error)) {
                result.deviceReady = true;
            } else {
                Remember(error);
                if (IsDeviceGone(error)) result.deviceGone = true;
                else result.deviceReady = true;  // the next write reports it
            }
        }
    }
    return result;
}

WaitResult WaitForEvents(const WakeEvent& stop, const WakeEvent& wake, const WakeEvent& ready,
                         std::chrono::milliseconds timeout) {
    HANDLE handles[3] = {AsHandle(stop.Handle()), AsHandle(wake.Handle()), AsHandle(ready.Handle())};
    const DWORD waitMs = timeout.count() < 0 ? INFINITE : static_cast<DWORD>(timeout.count());
    WaitResult result;
    const DWORD outcome = ::WaitForMultipleObjects(3, handles, FALSE, waitMs);
    if (outcome == WAIT_FAILED) {
        Remember(::GetLastError());
        result.deviceGone = true;
        return result;
    }
    result.timedOut = outcome == WAIT_TIMEOUT;
    result.stopped = ::WaitForSingleObject(handles[0], 0) == WAIT_OBJECT_0;
    result.woken = ::WaitForSingleObject(handles[1], 0) == WAIT_OBJECT_0;
    result.deviceReady = ::WaitForSingleObject(handles[2], 0) == WAIT_OBJECT_0;
    return result;
}

Win32SerialDevice::Readiness Win32SerialDevice::Ready() const {
    Readiness result;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(AsHandle(m_handle), &errors, &status)) {
        const DWORD error = ::GetLastError();
        Remember(error);
        result.gone = IsDeviceGone(error);
        return result;
    }
    result.readable = status.cbInQue > 0;
    std::lock_guard lock(m_platform->writeLock);
    result.writable = !m_platform->write.pending || m_platform->write.Finished();
    return result;
}

bool Win32SerialDevice::GetState(CommState& state) const {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(AsHandle(m_handle), &dcb)) return Failed();
    state = CommStateFromDcb(dcb);
    return true;
}

bool Win32SerialDevice::SetState(const CommState& state, std::string& notTaken) {
    notTaken.clear();
    HANDLE handle = AsHandle(m_handle);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb)) return Failed();
    if (!IsValidFraming(state) || (state.baudRate != 0 && !IsKnownBaudRate(state.baudRate))) {
        notTaken = "line settings";
        Remember(ERROR_INVALID_PARAMETER);
        return false;
    }
    // The system's own parser puts speed and framing into the DCB.
    char text[96];
    const char* stop = kStopBitsTexts[static_cast<int>(state.stopBits)];
    if (state.baudRate != 0)
        std::snprintf(text, sizeof text, "baud=%u parity=%c data=%u stop=%s",
                      static_cast<unsigned>(state.baudRate), state.parity,
                      static_cast<unsigned>(state.dataBits), stop);
    else
        std::snprintf(text, sizeof text, "parity=%c data=%u stop=%s", state.parity,
                      static_cast<unsigned>(state.dataBits), stop);
    if (!::BuildCommDCBA(text, &dcb)) {
        Remember(::GetLastError());
        notTaken = "line settings";
        return false;
    }
    dcb.fBinary = TRUE;
    dcb.fParity = state.parity != 'n';
    dcb.fOutxCtsFlow = state.outxCtsFlow;
    dcb.fOutxDsrFlow = state.outxDsrFlow;
    // A line that stops being a handshake line is left raised.
    if (state.rtsControl == LineControl::Handshake) dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    else if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (state.dtrControl == LineControl::Handshake) dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    else if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = state.dsrSensitivity;
    dcb.fOutX = FALSE;  // the port's own, see the top of this file
    dcb.fInX = state.inX;
    dcb.fTXContinueOnXoff = TRUE;  // our XOFF to the other side does not hold our output
    dcb.fNull = state.discardNulls;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;  // a framing error must not stall every later call
    dcb.XonChar = static_cast<char>(state.xonChar);
    dcb.XoffChar = static_cast<char>(state.xoffChar);
    dcb.XonLim = state.xonLim;
    dcb.XoffLim = state.xoffLim;
    // A driver that kept its own framing may refuse the call although it took
    // the rest: what counts is what it reads back.
    if (!::SetCommState(handle, &dcb)) {
        const DWORD error = ::GetLastError();
        Remember(error);
        if (error != ERROR_INVALID_PARAMETER) return false;
    }
    DCB got{};
    got.DCBlength = sizeof got;
    if (!::GetCommState(handle, &got)) return Failed();
    notTaken = DcbNotTaken(dcb, got);
    if (notTaken.empty()) return true;
    Remember(ERROR_INVALID_PARAMETER);
    return false;
}

bool Win32SerialDevice::SetQueueSizes(uint32_t inputSize, uint32_t outputSize) {
    return ::SetupComm(AsHandle(m_handle), inputSize, outputSize) || Failed();
}

namespace {

// After a purge that aborted it, the outstanding write ends at once.
void EndAbortedWrite(HANDLE handle, OverlappedRequest& write) {
    if (!write.pending) return;
    DWORD ignored = 0;
    ::GetOverlappedResult(handle, &write.overlapped, &ignored, TRUE);
    write.pending = false;
}

}  // namespace

bool Win32SerialDevice::Purge() {
    HANDLE handle = AsHandle(m_handle);
    std::lock_guard lock(m_platform->writeLock);
    if (!::PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return Failed();
    EndAbortedWrite(handle, m_platform->write);
    return true;
}

bool Win32SerialDevice::PurgeOutput() {
    HANDLE handle = AsHandle(m_handle);
    std::lock_guard lock(m_platform->writeLock);
    if (!::PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR)) return Failed();
    EndAbortedWrite(handle, m_platform->write);
    return true;
}

bool Win32SerialDevice::PurgeInput() {
    if (!::PurgeComm(AsHandle(m_handle), PURGE_RXABORT | PURGE_RXCLEAR)) return Failed();
    return true;
}

bool Win32SerialDevice::Drain() {
    HANDLE handle = AsHandle(m_handle);
    {
        std::lock_guard lock(m_platform->writeLock);
        OverlappedRequest& write = m_platform->write;
        if (write.pending) {
            DWORD written = 0;
            const bool done = ::GetOverlappedResult(handle, &write.overlapped, &written, TRUE);
            write.pending = false;
            if (!done && ::GetLastError() != ERROR_OPERATION_ABORTED) {
                if (IsDeviceGone(::GetLastError())) write.failedGone = ::GetLastError();
                return Failed();
            }
        }
        if (write.failedGone != 0) {
            Remember(write.failedGone);
            return false;
        }
    }
    return ::FlushFileBuffers(handle) || Failed();
}

bool Win32SerialDevice::DrainUntil(std::chrono::steady_clock::time_point deadline) {
    // A line held by CTS or XOFF keeps the queue full for good: the queue is
    // watched until it is empty, and only then is the driver asked to wait
    // for its last bytes.
    for (;;) {
        uint32_t queued = 0;
        if (!OutputWaiting(queued)) return false;
        if (queued == 0) return Drain();
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            Remember(ERROR_TIMEOUT);
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        const DWORD lookMs = static_cast<DWORD>(std::min<int64_t>(left.count(), kLongestDrainLookMs));
        ::WaitForSingleObject(m_platform->write.event, lookMs);
    }
}

bool Win32SerialDevice::OutputWaiting(uint32_t& count) const {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(AsHandle(m_handle), &errors, &status)) return Failed();
    count = status.cbOutQue;
    // A write still outstanding holds bytes the driver may not count yet.
    std::lock_guard lock(m_platform->writeLock);
    OverlappedRequest& write = m_platform->write;
    if (write.pending && write.Finished()) {
        DWORD error = 0;
        CollectWrite(AsHandle(m_handle), write, error);
    }
    if (write.failedGone != 0) {
        Remember(write.failedGone);
        return false;
    }
    if (write.pending)
        count = std::max<uint32_t>(count, static_cast<uint32_t>(m_platform->writeBytes.size()));
    return true;
}

bool Win32SerialDevice::Escape(uint32_t code) {
    return ::EscapeCommFunction(AsHandle(m_handle), code) || Failed();
}

bool Win32SerialDevice::GetModemStatus(uint32_t& status) const {
    DWORD lines = 0;
    if (!::GetCommModemStatus(AsHandle(m_handle), &lines)) return Failed();
    status = lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
    return true;
}

}  // namespace quorlin
