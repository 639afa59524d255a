// The line-settings text ("baud=9600 parity=o data=7 stop=1"): the parser must
// accept exactly the texts a model of the grammar accepts, set exactly the
// values the model reads, leave the state untouched on a refusal, and read
// back what it accepted once written out again (as text and as termios).

#include <termios.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/LineSettings.h"
#include "serial/TermiosSettings.h"
#include "tests/fuzz/FuzzSupport.h"

namespace quorlin::fuzz {
namespace {

// The four values a text can set; unset ones keep the state's.
struct Settings {
    std::optional<uint32_t> baud;
    std::optional<char> parity;
    std::optional<uint8_t> dataBits;
    std::optional<StopBits> stopBits;
};

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A decimal number of any length; nullopt when it is not one, or exceeds limit.
std::optional<uint64_t> Decimal(std::string_view text, uint64_t limit) {
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > limit) return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        const bool blank = i == text.size() || text[i] == ' ' || text[i] == '\t';
        if (blank) {
            if (i > start) words.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return words;
}

// The grammar: blank- or tab-separated key=value words, at least one; keys
// baud, parity, data, stop in any case and order, a later one winning; baud
// any rate the device layer offers, parity one of n o e m s, data 5 to 8,
// stop 1, 1.5 or 2.
std::optional<Settings> ModelParse(std::string_view text) {
    const std::vector<std::string_view> words = Words(text);
    if (words.empty()) return std::nullopt;
    Settings settings;
    for (std::string_view word : words) {
        const size_t eq = word.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        const std::string key = AsciiLower(word.substr(0, eq));
        const std::string value = AsciiLower(word.substr(eq + 1));
        if (key == "baud") {
            speed_t speed;
            const auto rate = Decimal(value, UINT32_MAX);
            if (!rate || !BaudToSpeed(static_cast<uint32_t>(*rate), speed)) return std::nullopt;
            settings.baud = static_cast<uint32_t>(*rate);
        } else if (key == "parity") {
            if (value != "n" && value != "o" && value != "e" && value != "m" && value != "s") return std::nullopt;
            settings.parity = value[0];
        } else if (key == "data") {
            const auto bits = Decimal(value, UINT32_MAX);
            if (!bits || *bits < 5 || *bits > 8) return std::nullopt;
            settings.dataBits = static_cast<uint8_t>(*bits);
        } else if (key == "stop") {
            if (value == "1") settings.stopBits = StopBits::One;
            else if (value == "1.5") settings.stopBits = StopBits::OnePointFive;
            else if (value == "2") settings.stopBits = StopBits::Two;
            else return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return settings;
}

CommState Applied(CommState state, const Settings& settings) {
    if (settings.baud) state.baudRate = *settings.baud;
    if (settings.parity) state.parity = *settings.parity;
    if (settings.dataBits) state.dataBits = *settings.dataBits;
    if (settings.stopBits) state.stopBits = *settings.stopBits;
    return state;
}

const char* StopText(StopBits stop) {
    switch (stop) {
        case StopBits::One: return "1";
        case StopBits::OnePointFive: return "1.5";
        case StopBits::Two: return "2";
    }
    return "?";
}

std::string Describe(const CommState& s) {
    char text[128];
    std::snprintf(text, sizeof text, "baud %u parity %c data %u stop %s", s.baudRate, s.parity,
                  static_cast<unsigned>(s.dataBits), StopText(s.stopBits));
    return text;
}

CommState StartState(FuzzedDataProvider& in) {
    CommState state;
    const uint32_t rates[] = {9600, 19200, 115200, 300};
    state.baudRate = rates[in.ConsumeIntegralInRange<size_t>(0, 3)];
    state.parity = "noems"[in.ConsumeIntegralInRange<size_t>(0, 4)];
    state.dataBits = in.ConsumeIntegralInRange<uint8_t>(5, 8);
    state.stopBits = static_cast<StopBits>(in.ConsumeIntegralInRange<uint8_t>(0, 2));
    state.inX = in.ConsumeBool();
    state.xonLim = in.ConsumeIntegral<uint16_t>();
    return state;
}

// What was accepted, written out the way Init writes it (in a random key
// order and case), must read back to the same values from any state.
void CheckRoundTrip(const CommState& accepted, bool upper, bool reversed) {
    std::vector<std::string> words = {
        "baud=" + std::to_string(accepted.baudRate), std::string("parity=") + accepted.parity,
        "data=" + std::to_string(accepted.dataBits), std::string("stop=") + StopText(accepted.stopBits)};
    if (reversed) words = {words[3], words[2], words[1], words[0]};
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
    if (upper)
        for (char& c : text)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    CommState other;
    other.baudRate = 50;
    other.parity = 's';
    other.dataBits = 5;
    other.stopBits = StopBits::OnePointFive;
    CommState expected = other;
    expected.baudRate = accepted.baudRate;
    expected.parity = accepted.parity;
    expected.dataBits = accepted.dataBits;
    expected.stopBits = accepted.stopBits;
    FUZZ_CHECK(ParseLineSettings(text, other), "refused its own text " + text);
    FUZZ_CHECK(other == expected, text + " read back as " + Describe(other));

    if (accepted.stopBits != StopBits::OnePointFive) {
        const std::string formatted = FormatLineSettings(accepted.baudRate, accepted.parity, accepted.dataBits,
                                                         accepted.stopBits == StopBits::Two ? 2 : 1);
        CommState again;
        FUZZ_CHECK(ParseLineSettings(formatted, again), "refused FormatLineSettings' text " + formatted);
        FUZZ_CHECK(again.baudRate == accepted.baudRate && again.parity == accepted.parity &&
                       again.dataBits == accepted.dataBits && again.stopBits == accepted.stopBits,
                   formatted + " read back as " + Describe(again));
    }
}

// Onto a line: a framing that can be put there reads back from termios the
// same; one that cannot is refused and leaves termios as it was.
void CheckTermiosRoundTrip(const CommState& accepted) {
    termios tio{};
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    const termios before = tio;
    const bool framable = !(accepted.stopBits == StopBits::OnePointFive && accepted.dataBits != 5) &&
                          !(accepted.stopBits == StopBits::Two && accepted.dataBits == 5);
    const bool put = CommStateToTermios(accepted, tio);
    FUZZ_CHECK(put == framable, Describe(accepted));
    if (!put) {
        FUZZ_CHECK(std::memcmp(&tio, &before, sizeof tio) == 0, "a refused state changed termios");
        return;
    }
    const CommState back = CommStateFromTermios(tio);
    FUZZ_CHECK(back.baudRate == accepted.baudRate && back.parity == accepted.parity &&
                   back.dataBits == accepted.dataBits && back.stopBits == accepted.stopBits,
               Describe(accepted) + " came back from termios as " + Describe(back));
}

}  // namespace
}  // namespace quorlin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorlin::fuzz;
    using quorlin::CommState;
    FuzzedDataProvider in(data, size);
    const CommState start = StartState(in);
    const bool upper = in.ConsumeBool();
    const bool reversed = in.ConsumeBool();
    const std::string text = in.ConsumeRemainingBytesAsString();

    CommState state = start;
    const bool accepted = quorlin::ParseLineSettings(text, state);
    const auto expected = ModelParse(text);
    FUZZ_CHECK(accepted == expected.has_value(), "text \"" + Escaped(text) + "\"");
    if (!accepted) {
        FUZZ_CHECK(state == start, "a refused text changed the state: " + Escaped(text));
        return 0;
    }
    FUZZ_CHECK(state == Applied(start, *expected),
               "text \"" + Escaped(text) + "\" gave " + Describe(state) + ", model " +
                   Describe(Applied(start, *expected)));
    CheckRoundTrip(state, upper, reversed);
    CheckTermiosRoundTrip(state);
    return 0;
}
