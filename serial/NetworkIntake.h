#pragma once
// Whether a device server reads what it is sent. A server whose serial side
// is stuck stops reading its socket, but its system still takes (and
// acknowledges) what arrives until its receive buffer is full: some hundred
// kilobytes, minutes of a program at 9600 baud, that a socket shows as sent.
// The window the server advertises tells: its right edge (acknowledged bytes
// plus the window) moves on only as the server reads, and the window is
// short by what it holds unread.

#include <chrono>
#include <cstdint>

namespace quorlin {

class NetworkIntake {
public:
    using Clock = std::chrono::steady_clock;

    // Looks at socket's window at now; false when the system tells nothing
    // (then Unread stays 0 and the server counts as reading).
    bool Look(int socket, Clock::time_point now = Clock::now());
    // Bytes the server's system holds that the server has not read, as far
    // as the window shows.
    uint64_t Unread() const { return m_unread; }
    // How long the server has held unread bytes without reading any.
    Clock::duration StillFor(Clock::time_point now = Clock::now()) const;

private:
    uint64_t m_largestWindow = 0;
    uint64_t m_rightEdge = 0;
    uint64_t m_unread = 0;
    Clock::time_point m_movedAt{};
};

}  // namespace quorlin
