#pragma once
// The device seam of CSerialPort: everything the port asks of a device goes
// through SerialDevice (one open device, an interface), and every wait goes
// through WakeEvent (a wake-up signal a thread can wait on together with the
// device). The build compiles one local back end and the WakeEvent of its
// platform: SerialDevicePosix.cpp (termios, eventfd, poll) or
// SerialDeviceWin32.cpp (the comm calls on an overlapped handle, events,
// WaitForMultipleObjects).

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

// One open device behind a port. CSerialPort's threads, its XON/XOFF and the
// drain work on this interface alone; the port map chooses the back end per
// port (PortDevice.h): the local device of this platform
// (SerialDevicePosix.cpp, SerialDeviceWin32.cpp) or a port on a device
// server (SerialDeviceNetwork.cpp).
//
// The calls that return bool leave the system's error number where
// LastSystemError (and errno) find it when they return false.
class SerialDevice {
public:
    SerialDevice() = default;
    virtual ~SerialDevice() = default;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Never wait: they move what can be moved now.
    virtual IoResult ReadSome(void* buffer, size_t size) = 0;
    virtual IoResult WriteSome(const void* data, size_t size) = 0;

    // Waits until stop or wake is signalled, the device is ready for what
    // (unless None) or gone, or timeout passes (kWaitForever: never).
    virtual WaitResult Wait(const WakeEvent& stop, const WakeEvent& wake, DeviceWait what,
                            std::chrono::milliseconds timeout = kWaitForever) const = 0;

    // Whether input waits to be read and whether a write would take bytes
    // now (on a tty: fewer than 256 bytes queued for output), in one look
    // that does not wait.
    struct Readiness {
        bool readable = false;
        bool writable = false;
        bool gone = false;  // hung up or failed: neither
    };
    virtual Readiness Ready() const = 0;

    virtual bool GetState(CommState& state) const = 0;
    // Applies state and reads back what the device took. False when a
    // setting was not taken (errno EINVAL, notTaken names the settings) or
    // the device refused the call (errno as the system set it). A device
    // that can only pass 8-bit characters without parity (a pty) has taken
    // 7 bits with parity as well as it can: that is not a failure.
    virtual bool SetState(const CommState& state, std::string& notTaken) = 0;
    // Asks the driver for queues of these sizes (a tty sizes its own).
    virtual bool SetQueueSizes(uint32_t inputSize, uint32_t outputSize) = 0;
    virtual bool Purge() = 0;        // drops both queues of the device
    virtual bool PurgeOutput() = 0;  // drops the device's output queue only
    virtual bool PurgeInput() = 0;   // drops the device's input queue only
    // Waits until the output queue has been sent; the device bounds the wait
    // for its last characters. Only for a queue that is already (nearly)
    // empty: a line held by CTS keeps a full queue waiting for good.
    virtual bool Drain() = 0;
    // The same, but gives up at deadline (false, errno ETIMEDOUT): the
    // queue is watched until it is empty, and only then is the device asked
    // to wait for its last bytes, which it does within a bounded time.
    virtual bool DrainUntil(std::chrono::steady_clock::time_point deadline) = 0;
    // Bytes the device holds that have not left yet; 0 for a device that
    // passes every byte on as it is written (a pty).
    virtual bool OutputWaiting(uint32_t& count) const = 0;
    virtual bool Escape(uint32_t code) = 0;  // SETRTS ... CLRBREAK, SETXOFF/SETXON
    virtual bool GetModemStatus(uint32_t& status) const = 0;

    // A device that connects after it was opened (a port on a device
    // server) takes nothing and gives nothing until it is up; if it never
    // comes up, it is lost, and OpenFailure says why (kind None for every
    // other device, and while it is up or still connecting).
    virtual PortFailure OpenFailure() const { return {}; }
    // True while such a device is not up yet: nothing written has reached
    // the line.
    virtual bool IsConnecting() const { return false; }
    // Waits until such a device is up, within its own bound; false, with
    // failure set, when it never came up. A local device is up when opened.
    virtual bool AwaitConnection(PortFailure& failure) {
        (void)failure;
        return true;
    }
};

// Opens the local serial device at path for reading and writing, without
// becoming its controlling terminal and without waiting for carrier, and
// claims it exclusively: a second open of the same device fails, also for
// the superuser. On failure, failure says why: its kind, the failed call and
// the system's error number and text. Each platform's back end defines it.
std::unique_ptr<SerialDevice> OpenLocalDevice(const std::string& path, PortFailure& failure);

// Waits like SerialDevice::Wait for a device whose readiness is itself a
// WakeEvent (ready, signalled by whoever makes the device ready): deviceReady
// when ready is signalled; ready is not cleared.
WaitResult WaitForEvents(const WakeEvent& stop, const WakeEvent& wake, const WakeEvent& ready,
                         std::chrono::milliseconds timeout = kWaitForever);

}  // namespace quorlin
