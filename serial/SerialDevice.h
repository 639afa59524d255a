#pragma once
// The platform seam of CSerialPort: everything the port asks of the operating
// system goes through SerialDevice (one open device) and WakeEvent (a
// wake-up signal a thread can wait on together with the device). This file
// declares them; SerialDevicePosix.cpp implements them with termios, and a
// Win32 back end would implement the same declarations with its comm calls.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/CommTypes.h"

namespace quorlin {

enum class IoStatus {
    Done,        // count bytes moved (possibly 0 for a 0-byte request)
    WouldBlock,  // nothing can move now
    Lost,        // the device is gone: hung up, unplugged, other side closed
    Failed,      // any other failure; error holds the system's error number
};

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
    int Handle() const { return m_handle; }

private:
    int m_handle;
};

// What ended a wait.
struct WaitResult {
    bool stopped = false;      // the stop event is signalled
    bool woken = false;        // the wake event is signalled
    bool deviceReady = false;  // the device is ready for what was asked
    bool deviceGone = false;   // the device reports hang-up or error
};

enum class DeviceWait { None, Readable, Writable };

class SerialDevice {
public:
    // Opens path for reading and writing, without becoming its controlling
    // terminal and without waiting for carrier, and claims it exclusively:
    // a second Open of the same device fails, also for the superuser. error
    // receives the system's error number on failure.
    static std::unique_ptr<SerialDevice> Open(const std::string& path, int& error);
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Never wait: they move what can be moved now.
    IoResult ReadSome(void* buffer, size_t size);
    IoResult WriteSome(const void* data, size_t size);

    // Waits without time-out until stop or wake is signalled or, unless what
    // is None, the device is ready to read or write (or gone).
    WaitResult Wait(const WakeEvent& stop, const WakeEvent& wake, DeviceWait what) const;

    // Whether a write would take bytes now (on a tty: fewer than 256 bytes
    // queued for output). Does not wait.
    bool IsWritable() const;

    bool GetState(CommState& state) const;
    bool SetState(const CommState& state);
    bool Purge();        // drops both kernel queues
    bool PurgeOutput();  // drops the kernel output queue only
    bool Drain();        // waits until the output queue has been sent
    // The same, but gives up at deadline (false, errno ETIMEDOUT): the
    // queue is watched until it is empty, and only then is the device asked
    // to wait for its last bytes, which it does within a bounded time.
    bool DrainUntil(std::chrono::steady_clock::time_point deadline);
    bool InputWaiting(uint32_t& count) const;  // a hint; a pty stops at 4095
    bool OutputWaiting(uint32_t& count) const;
    bool Escape(uint32_t code);  // SETRTS ... CLRBREAK, SETXOFF/SETXON
    bool GetModemStatus(uint32_t& status) const;

private:
    explicit SerialDevice(int handle) : m_handle(handle) {}
    int m_handle;
    bool m_hasOutputQueue = true;
};

}  // namespace quorlin
