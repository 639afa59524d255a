#pragma once
// The control characters of the controllers' line protocols.

namespace quorlin {

constexpr char kLF = 0x0A;   // ends a line
constexpr char kCR = 0x0D;   // dropped from programs sent, stored before LF received
constexpr char kDC1 = 0x11;  // Xon controller: send the next block
constexpr char kDC3 = 0x13;  // Xon controller: stop
constexpr char kSUB = 0x1A;  // ends a program text, both directions
constexpr char kESC = 0x1B;  // ends an Xon block that is not the last

}  // namespace quorlin
