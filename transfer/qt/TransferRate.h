#pragma once
// The rate of a running send and the time it still needs, from the bytes
// sent since the first progress report. The clock is passed in, so the rules
// can be checked without waiting.

#include <chrono>
#include <cstdint>
#include <optional>

namespace quorlin {

class TransferRate {
public:
    using Clock = std::chrono::steady_clock;

    // A rate measured over less than this is too noisy to show.
    static constexpr std::chrono::milliseconds kMinimumSpan{1000};

    void Start(uint64_t total, Clock::time_point now);
    void Note(uint64_t position, Clock::time_point now);

    // Bytes per second, once kMinimumSpan has passed since the first
    // report and some bytes have gone.
    std::optional<double> BytesPerSecond() const;
    // Whole seconds still needed at the current rate, rounded up.
    std::optional<int64_t> SecondsLeft() const;

private:
    uint64_t m_nTotal = 0;
    uint64_t m_nStartPos = 0;
    uint64_t m_nPos = 0;
    bool m_bStarted = false;
    Clock::time_point m_start;
    Clock::time_point m_last;
};

}  // namespace quorlin
