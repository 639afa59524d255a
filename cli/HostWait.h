#pragma once
// Where quorlin-cli's transfer host waits, the part of it that differs
// between systems (with Console.h): one wait for a message a port thread posted, for
// the user's Cancel (Ctrl+C and its kin), or for a deadline. The POSIX file
// takes SIGINT and SIGTERM through a signalfd beside the message pump's
// eventfd; the Win32 file takes Ctrl+C, Ctrl+Break and the console's closing
// through a console control handler beside the pump's event.

#include <memory>

#include "transfer/PumpWake.h"

namespace quorlin::cli {

class HostWait {
public:
    // Takes the cancel keys over: from now on they only wake Wait. Made
    // before any port thread exists (on POSIX every thread then inherits
    // the blocked signals). messages: the wake-up of the message pump to
    // wait on; null for one of its own (Wake alone signals it).
    explicit HostWait(PumpWake* messages = nullptr);
    ~HostWait();
    HostWait(const HostWait&) = delete;
    HostWait& operator=(const HostWait&) = delete;

    // Makes the next Wait (or the one under way) return Message. Any thread.
    void Wake();

    enum class Woken { Message, Cancel, TimedOut, Failed };
    // Waits until woken, cancelled or timeoutMs passed (negative: no limit).
    // A cancel outranks a message that is waiting too; it is reported once.
    // Message clears the wake-up, so a Wake that follows wakes again.
    Woken Wait(int timeoutMs);

    // Gives the cancel keys back their default effect, which ends the
    // process at once: after the run, while the port drains.
    void ReleaseCancel();

    // Each system's handles; its file defines it.
    struct State;

private:
    std::unique_ptr<State> m_state;
    std::unique_ptr<PumpWake> m_ownMessages;  // when no pump's was given
    PumpWake* m_messages;
};

}  // namespace quorlin::cli
