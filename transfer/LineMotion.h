#pragma once
// When a transfer's line last moved, for a host's idle limit: an engine
// step, a change in what waits in the port, or the line still carrying
// what it was handed (a port can show nothing waiting while a slow line or
// a device server still sends it).

#include <algorithm>
#include <chrono>

#include "transfer/TransferEngine.h"

namespace quorlin {

class LineMotion {
public:
    using Clock = std::chrono::steady_clock;

    // A transfer begins (or shows progress of another kind): it moved now.
    void Restart(const TransferEngine::Activity& seen, Clock::time_point now) {
        m_seen = seen;
        m_moved = now;
    }
    void Moved(Clock::time_point now) { m_moved = std::max(m_moved, now); }

    // Looks at the line's activity now; when it last moved.
    Clock::time_point Watch(const TransferEngine::Activity& seen, Clock::time_point now) {
        m_moved = std::max(m_moved, std::min(seen.lineFreeAt, now));
        if (seen != m_seen) Restart(seen, now);
        return m_moved;
    }

    Clock::time_point LastMoved() const { return m_moved; }

private:
    TransferEngine::Activity m_seen;
    Clock::time_point m_moved{};
};

}  // namespace quorlin
