#include "serial/LineSettings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <iterator>

namespace quorlin {
namespace {

// Every rate a back end offers (the POSIX one maps each onto a termios speed
// code).
constexpr uint32_t kBaudRates[] = {50,     75,     110,    134,     150,     200,     300,
                                   600,    1200,   1800,   2400,    4800,    9600,    19200,
                                   38400,  57600,  115200, 230400,  460800,  500000,  576000,
                                   921600, 1000000, 1152000, 1500000, 2000000};

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool ParseUnsigned(std::string_view text, uint32_t& value) {
    if (text.empty()) return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool ParseStopBits(std::string_view text, StopBits& stop) {
    if (text == "1") stop = StopBits::One;
    else if (text == "1.5") stop = StopBits::OnePointFive;
    else if (text == "2") stop = StopBits::Two;
    else return false;
    return true;
}

}  // namespace

std::string FormatLineSettings(unsigned baud, char parity, unsigned dataBits, unsigned stopBits) {
    char text[96];
    std::snprintf(text, sizeof text, "baud=%u parity=%c data=%u stop=%u", baud, parity,
                  dataBits, stopBits);
    return text;
}

bool ParseLineSettings(std::string_view text, CommState& state) {
    CommState next = state;
    size_t pos = 0;
    bool any = false;
    while (pos < text.size()) {
        if (text[pos] == ' ' || text[pos] == '\t') {
            ++pos;
            continue;
        }
        size_t end = text.find_first_of(" \t", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view token = text.substr(pos, end - pos);
        pos = end;
        size_t eq = token.find('=');
        if (eq == std::string_view::npos) return false;
        std::string key = Lower(token.substr(0, eq));
        std::string value = Lower(token.substr(eq + 1));
        if (key == "baud") {
            if (!ParseUnsigned(value, next.baudRate) || !IsKnownBaudRate(next.baudRate))
                return false;
        } else if (key == "parity") {
            if (value.size() != 1 || std::string_view("noems").find(value[0]) == std::string_view::npos)
                return false;
            next.parity = value[0];
        } else if (key == "data") {
            uint32_t bits = 0;
            if (!ParseUnsigned(value, bits) || bits < 5 || bits > 8) return false;
            next.dataBits = static_cast<uint8_t>(bits);
        } else if (key == "stop") {
            if (!ParseStopBits(value, next.stopBits)) return false;
        } else {
            return false;
        }
        any = true;
    }
    if (!any) return false;
    state = next;
    return true;
}

void ApplyHandshake(CommState& state, uint8_t handshake) {
    state.dsrSensitivity = false;
    state.discardNulls = false;
    if (handshake > 5) return;
    state.outxCtsFlow = handshake == 1 || handshake == 2;
    state.outxDsrFlow = handshake == 3 || handshake == 4;
    if (handshake == 1 || handshake == 3) state.rtsControl = LineControl::Handshake;
    if (handshake == 2 || handshake == 4) state.dtrControl = LineControl::Handshake;
    state.outX = handshake == 5;
    state.inX = handshake == 5;
    if (handshake == 5) {
        state.xonChar = 0x11;
        state.xoffChar = 0x13;
        state.xonLim = kXonXoffLimit;
        state.xoffLim = kXonXoffLimit;
    }
}

bool IsKnownBaudRate(uint32_t baud) {
    return std::find(std::begin(kBaudRates), std::end(kBaudRates), baud) != std::end(kBaudRates);
}

bool IsValidFraming(const CommState& state) {
    if (state.dataBits < 5 || state.dataBits > 8) return false;
    if (state.stopBits == StopBits::OnePointFive && state.dataBits != 5) return false;
    if (state.stopBits == StopBits::Two && state.dataBits == 5) return false;
    return std::string_view("noems").find(state.parity) != std::string_view::npos;
}

}  // namespace quorlin
