#pragma once
// The rate of a running transfer and the time it still needs: what the line
// carried over the last seconds, never more than the line can carry. The
// clock is passed in, so the rules can be checked without waiting.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace quorlin {

class TransferRate {
public:
    using Clock = std::chrono::steady_clock;

    // A rate measured over less than this is too noisy to show.
    static constexpr std::chrono::milliseconds kMinimumSpan{1000};
    // The rate looks this far back, so that it follows a line that slows
    // down or stops.
    static constexpr std::chrono::milliseconds kWindow{5000};

    // total: the bytes the transfer moves in all, 0 where nobody can know
    // (a receive ends when the controller says so); lineLimit: the most the
    // line carries in a second, 0 for no limit.
    void Start(uint64_t total, Clock::time_point now, double lineLimit = 0);
    void SetLineLimit(double lineLimit) { m_lineLimit = lineLimit; }
    // position: the bytes the line has carried so far. Noting the same
    // position again as time goes on is how a stall shows.
    void Note(uint64_t position, Clock::time_point now);

    // Bytes per second over the last kWindow, once kMinimumSpan has passed
    // since the first byte went.
    std::optional<double> BytesPerSecond() const;
    // Whole seconds still needed at the current rate, rounded up; none
    // without a total.
    std::optional<int64_t> SecondsLeft() const;
    // The rate of the last two seconds is within a fifth of the window's and
    // the window is full: a time left then means something.
    bool IsSteady() const;

private:
    using Sample = std::pair<Clock::time_point, uint64_t>;
    std::optional<double> RateSince(Clock::time_point from) const;

    uint64_t m_nTotal = 0;
    double m_lineLimit = 0;
    // From the first sample with bytes on; the first is the last one at or
    // before the window's start.
    std::deque<Sample> m_samples;
};

}  // namespace quorlin
