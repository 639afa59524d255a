#pragma once
// The platform seam of CSerialPort: everything the port asks of the operating
// system goes through SerialDevice (one open device) and WakeEvent (a
// wake-up signal a thread can wait on together with the device). This file
// declares them; the build compiles one back end: SerialDevicePosix.cpp
// (termios, eventfd, poll) or SerialDeviceWin32.cpp (the comm calls on an
// overlapped handle, events, WaitForMultipleObjects).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/CommTypes.h"
#include "serial/PortFailure.h"

namespace quorlin {

enum class IoStatus {
    Done,        // count bytes moved (possibly 0 for a 0-byte request)
    WouldBlock,  // nothing can move now
    Lost,        // the device is gone: hung up, unplugged, other side closed
    Failed,      // any other failure; error holds the system's error number
};

// The system's handle of a WakeEvent or a device: a descriptor (POSIX) or a
// HANDLE (Windows), kept in an integer wide enough for both.
using NativeHandle = std::intptr_t;

// The error number the last failed device call of this thread left (errno,
// GetLastError on Windows), and the system's text for such a number.
int LastSystemError();
std::string SystemErrorText(int error);

// The names of the calls a PortFailure can name, as this back end makes them.
struct SystemCallNames {
    const char* createEvent;  // making a WakeEvent
    const char* open;         // opening a device
    const char* setState;     // applying line settings
};
extern const SystemCallNames kSystemCalls;

struct IoResult {
    IoStatus status = IoStatus::Done;
    size_t count = 0;
    int error = 0;
};

// A level-triggered wake-up signal: stays signalled until cleared.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    bool IsValid() const;
    void Signal();
    void Clear();
    NativeHandle Handle() const { return m_handle; }

private:
    NativeHandle m_handle;
};

// What ended a wait.
struct WaitResult {
    bool stopped = false;      // the stop event is signalled
    bool woken = false;        // the wake event is signalled
    bool deviceReady = false;  // the device is ready for what was asked
    bool deviceGone = false;   // the device reports hang-up or error
    bool timedOut = false;     // the time-out passed first
};

enum class DeviceWait { None, Readable, Writable, ReadableOrWritable };

// No time-out for SerialDevice::Wait.
inline constexpr std::chrono::milliseconds kWaitForever{-1};

class SerialDevice {
public:
    // Opens path for reading and writing, without becoming its controlling
    // terminal and without waiting for carrier, and claims it exclusively:
    // a second Open of the same device fails, also for the superuser. On
    // failure, failure says why: its kind, the failed call and the system's
    // error number and text.
    static std::unique_ptr<SerialDevice> Open(const std::string& path, PortFailure& failure);
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Never wait: they move what can be moved now.
    IoResult ReadSome(void* buffer, size_t size);
    IoResult WriteSome(const void* data, size_t size);

    // Waits until stop or wake is signalled, the device is ready for what
    // (unless None) or gone, or timeout passes (kWaitForever: never).
    WaitResult Wait(const WakeEvent& stop, const WakeEvent& wake, DeviceWait what,
                    std::chrono::milliseconds timeout = kWaitForever) const;

    // Whether input waits to be read and whether a write would take bytes
    // now (on a tty: fewer than 256 bytes queued for output), in one look
    // that does not wait.
    struct Readiness {
        bool readable = false;
        bool writable = false;
        bool gone = false;  // hung up or failed: neither
    };
    Readiness Ready() const;

    bool GetState(CommState& state) const;
    // Applies state and reads back what the device took. False when a
    // setting was not taken (errno EINVAL, notTaken names the settings) or
    // the device refused the call (errno as the system set it). A device
    // that can only pass 8-bit characters without parity (a pty) has taken
    // 7 bits with parity as well as it can: that is not a failure.
    bool SetState(const CommState& state, std::string& notTaken);
    // Asks the driver for queues of these sizes (a tty sizes its own).
    bool SetQueueSizes(uint32_t inputSize, uint32_t outputSize);
    bool Purge();        // drops both kernel queues
    bool PurgeOutput();  // drops the kernel output queue only
    bool PurgeInput();   // drops the kernel input queue only
    // Waits until the output queue has been sent; the device bounds the wait
    // for its last characters. Only for a queue that is already (nearly)
    // empty: a line held by CTS keeps a full queue waiting for good.
    bool Drain();
    // The same, but gives up at deadline (false, errno ETIMEDOUT): the
    // queue is watched until it is empty, and only then is the device asked
    // to wait for its last bytes, which it does within a bounded time.
    bool DrainUntil(std::chrono::steady_clock::time_point deadline);
    bool OutputWaiting(uint32_t& count) const;
    bool Escape(uint32_t code);  // SETRTS ... CLRBREAK, SETXOFF/SETXON
    bool GetModemStatus(uint32_t& status) const;

private:
    // What a back end keeps beside the handle (the overlapped requests of the
    // Win32 one); each back end defines it.
    struct Platform;
    SerialDevice(NativeHandle handle, std::unique_ptr<Platform> platform);
    NativeHandle m_handle;
    std::unique_ptr<Platform> m_platform;
    bool m_hasOutputQueue = true;
};

}  // namespace quorlin
