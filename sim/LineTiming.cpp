#include "sim/LineTiming.h"

#include <charconv>
#include <vector>

namespace quorlin::sim {

unsigned BitTenthsPerChar(const LineSettings& line) {
    const unsigned parityBits = line.parity == 'n' ? 0 : 1;
    return 10 * (1 + line.dataBits + parityBits) + line.stopTenths;
}

std::chrono::nanoseconds CharDuration(const LineSettings& line) {
    // tenths of a bit * 1e9 / (10 * baud), rounded to the nearest nanosecond.
    const unsigned long long numerator = 1000000000ULL * BitTenthsPerChar(line);
    const unsigned long long denominator = 10ULL * line.baud;
    return std::chrono::nanoseconds((numerator + denominator / 2) / denominator);
}

namespace {

std::vector<std::string_view> SplitCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) return parts;
        start = comma + 1;
    }
}

std::optional<unsigned> ParseUnsigned(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<LineSettings> ParseLineSettings(std::string_view text) {
    const auto parts = SplitCommas(text);
    if (parts.size() != 4) return std::nullopt;
    LineSettings line;
    const auto baud = ParseUnsigned(parts[0]);
    if (!baud || *baud < 50 || *baud > 4000000) return std::nullopt;
    line.baud = *baud;
    if (parts[1].size() != 1 || std::string_view("noems").find(parts[1][0]) == std::string_view::npos)
        return std::nullopt;
    line.parity = parts[1][0];
    const auto data = ParseUnsigned(parts[2]);
    if (!data || *data < 5 || *data > 8) return std::nullopt;
    line.dataBits = *data;
    if (parts[3] == "1") line.stopTenths = 10;
    else if (parts[3] == "1.5") line.stopTenths = 15;
    else if (parts[3] == "2") line.stopTenths = 20;
    else return std::nullopt;
    return line;
}

std::string FormatLineSettings(const LineSettings& line) {
    const char* stop = line.stopTenths == 15 ? "1.5" : line.stopTenths == 20 ? "2" : "1";
    return std::to_string(line.baud) + "," + line.parity + "," + std::to_string(line.dataBits) + "," + stop;
}

std::size_t LineClock::Grant(Clock::time_point now, std::size_t wanted) {
    if (wanted == 0) return 0;
    if (nextStart_ == Clock::time_point{}) nextStart_ = now;  // first use
    if (now < nextStart_) return 0;
    const std::size_t due = static_cast<std::size_t>((now - nextStart_) / charDuration_) + 1;
    const std::size_t granted = due < wanted ? due : wanted;
    nextStart_ += charDuration_ * static_cast<long long>(granted);
    return granted;
}

}  // namespace quorlin::sim
