#pragma once
// Line settings of the simulated controller and the clock that paces its side
// of the line: one character occupies start + data + parity + stop bits, so at
// 9600 baud with 7 data bits, odd parity and one stop bit a character takes
// 10/9600 s, and nothing may leave or be taken faster than that.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorlin::sim {

using Clock = std::chrono::steady_clock;

struct LineSettings {
    unsigned baud = 9600;
    char parity = 'o';       // n, o, e, m, s
    unsigned dataBits = 7;   // 5 to 8
    unsigned stopTenths = 10;  // 10, 15 or 20 tenths of a bit

    bool operator==(const LineSettings&) const = default;
};

// Bits one character takes on the line, in tenths of a bit (1.5 stop bits).
unsigned BitTenthsPerChar(const LineSettings& line);

// Time one character takes on the line.
std::chrono::nanoseconds CharDuration(const LineSettings& line);

// "115200,o,8,1" (stop bits 1, 1.5 or 2); nothing for a text it cannot read.
std::optional<LineSettings> ParseLineSettings(std::string_view text);

// The same text form, for reports.
std::string FormatLineSettings(const LineSettings& line);

// Books characters on one direction of the line. A character may start when
// the one before has finished. While characters keep coming, a late wake-up
// catches up (they were waiting in the device, as in a UART's FIFO); once the
// line has been found idle, Restart makes it start afresh, so a pause never
// earns a burst.
class LineClock {
public:
    explicit LineClock(std::chrono::nanoseconds charDuration) : charDuration_(charDuration) {}

    // How many of `wanted` characters may start by `now`; they are booked.
    std::size_t Grant(Clock::time_point now, std::size_t wanted);

    // Gives back `count` booked characters that did not go after all.
    void Return(std::size_t count) { nextStart_ -= charDuration_ * static_cast<long long>(count); }

    // The line was idle until `now` (nothing was waiting to go).
    void Restart(Clock::time_point now) {
        if (nextStart_ < now) nextStart_ = now;
    }

    // When the next character may start.
    Clock::time_point NextStart() const { return nextStart_; }

    std::chrono::nanoseconds CharTime() const { return charDuration_; }

private:
    std::chrono::nanoseconds charDuration_;
    Clock::time_point nextStart_{};
};

}  // namespace quorlin::sim
