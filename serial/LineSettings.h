#pragma once
// Pure rules of the line configuration: the line-settings text and the
// handshake table. None of them touches a device, so tests call them directly.
// The mapping onto termios is in TermiosSettings.h.

#include <cstdint>
#include <string>
#include <string_view>

#include "serial/CommTypes.h"

namespace quorlin {

// "baud=%d parity=%c data=%d stop=%d" for the numeric Init.
std::string FormatLineSettings(unsigned baud, char parity, unsigned dataBits, unsigned stopBits);

// Parses a line-settings text ("baud=9600 parity=o data=7 stop=1"; keys in
// any order, each optional, case-insensitive) into state. Parity letters
// n, o, e, m, s; data 5-8; stop 1, 1.5, 2; baud one of the rates the device
// layer knows. Returns false and leaves state untouched when any part of the
// text is rejected.
bool ParseLineSettings(std::string_view text, CommState& state);

// The handshake selector applied to a state: DSR sensitivity and null
// stripping are always switched off; values 0-5 then set the flow control of
// their row; any other value changes nothing more.
void ApplyHandshake(CommState& state, uint8_t handshake);

// XON/XOFF limits used by handshake 5.
constexpr uint16_t kXonXoffLimit = 400;

// Whether the device layers offer baud as a line rate.
bool IsKnownBaudRate(uint32_t baud);

// Whether the framing can be put on a line: 1.5 stop bits go only with 5
// data bits, and 2 stop bits not with 5.
bool IsValidFraming(const CommState& state);

}  // namespace quorlin
