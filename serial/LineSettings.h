#pragma once
// Pure rules of the line configuration: the line-settings text, the handshake
// table, and the mapping between CommState and termios. None of them touches
// a device, so tests call them directly.

#include <termios.h>

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

// termios speed code of a baud rate; false for a rate the device layer does
// not offer.
bool BaudToSpeed(uint32_t baud, speed_t& speed);
uint32_t SpeedToBaud(speed_t speed);  // 0 for an unknown code

// Whether the framing can be put on a line: 1.5 stop bits go only with 5
// data bits, and 2 stop bits not with 5.
bool IsValidFraming(const CommState& state);

// Writes state into tio as a raw byte channel: no echo, no line editing, no
// signals, no output processing, receiver on, modem lines ignored for open.
// Output flow by XON/XOFF is not the kernel's (the port does it), so IXON is
// always off; inX maps to IXOFF with VSTART/VSTOP. Output gated by CTS or DSR
// maps to CRTSCTS, the only hardware flow Linux has. A baudRate of 0 keeps
// the speed tio has. Returns false, leaving tio untouched, when the rate or
// framing cannot be expressed.
bool CommStateToTermios(const CommState& state, termios& tio);

// The part of a CommState that termios records. Fields termios has no room
// for (outX, the limits, DSR sensitivity, null stripping, which of the
// hardware modes was asked for) come back at their defaults; CRTSCTS reads
// back as CTS output flow with RTS handshake.
CommState CommStateFromTermios(const termios& tio);

// What of asked the device did not take, judged from got (what it reads
// back after the apply): "" when it took everything, or the nearest it can
// do; otherwise the settings it did not take, such as "baud rate, parity".
// A device that carries 8-bit characters without parity whatever it is told
// (a pty) has done the nearest it can for fewer bits or parity.
std::string SettingsNotTaken(const termios& asked, const termios& got);

}  // namespace quorlin
