#pragma once
// The mapping between CommState and termios, for the POSIX back end of the
// port. Pure functions: tests call them directly.

#include <termios.h>

#include <cstdint>
#include <string>

#include "serial/CommTypes.h"

namespace quorlin {

// termios speed code of a baud rate; false for a rate the device layer does
// not offer.
bool BaudToSpeed(uint32_t baud, speed_t& speed);
uint32_t SpeedToBaud(speed_t speed);  // 0 for an unknown code

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
