#pragma once
// The one thing of the message pump that differs between systems: how a
// thread that posts wakes the host thread that waits. On POSIX an eventfd,
// on Windows an auto-reset event; the host waits on Handle() beside its own
// sources (quorlin-cli's cancel keys, the desktop program's event loop).

#include <cstdint>

namespace quorlin {

class PumpWake {
public:
#ifdef _WIN32
    using Handle = void*;  // HANDLE of an event
#else
    using Handle = int;  // eventfd
#endif

    PumpWake();
    ~PumpWake();
    PumpWake(const PumpWake&) = delete;
    PumpWake& operator=(const PumpWake&) = delete;

    // False when the system gave no handle (the process ran out of them):
    // Signal then does nothing and the host must look for work some other way.
    bool IsValid() const;
    // Any thread; returns at once. Wake-ups not yet taken add up to one.
    void Signal();
    // The host's thread: takes the wake-up, so that the next Signal makes the
    // handle ready again.
    void Clear();
    Handle NativeHandle() const { return m_handle; }

private:
    Handle m_handle;
};

}  // namespace quorlin
