#pragma once
// How many bytes the engine moves between the line and the port at one step.

#include <cstdint>

namespace quorlin {

// The most bytes one step takes from the port (a read of received bytes) or
// hands to it (a Block piece of a program, a piece of a download). A step
// runs on the host's thread between two port messages, so a piece is what
// XOFF, DC3 and Cancel may have to wait for: 511 bytes are about half a
// second at 9600 baud. A read keeps one more byte for the NUL that ends it
// as text for the log.
inline constexpr uint32_t kLinePiece = 511;

// The port's write buffer: one write must fit it whole. The largest single
// write is an Xon block of whole lines, which stops growing past 4063 bytes
// and then takes one more line, and a long line is split to fit; 5000 leaves
// room for a line of ordinary length on top of a full block.
inline constexpr unsigned kTransferWriteBuffer = 5000;

}  // namespace quorlin
