#pragma once
// The port's sizes and times in one place.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace quorlin::port_limits {

// With XON/XOFF the port hands the device at most this many bytes at a time,
// so that a received XOFF stops the output within one such piece.
inline constexpr size_t kFlowChunk = 64;
// Bytes received and not yet read that the port holds before it leaves the
// rest in the kernel (whose input flow control then applies).
inline constexpr size_t kInputQueueLimit = 64 * 1024;
// What one read from the device takes at most.
inline constexpr size_t kReadPiece = 4096;
// Bytes written and not yet handed to the device that the port queues at
// least; a port whose blocks are larger queues one such block.
inline constexpr size_t kWriteQueueMinimum = 64 * 1024;
// Start, eight data, parity and two stop bits: no character takes longer.
inline constexpr uint64_t kLongestCharacterBits = 12;
// The line rate assumed where the device gives none.
inline constexpr uint32_t kUsualBaud = 9600;
// Added to the line time of queued bytes before the port gives up on them
// (Flush) and the most a closed port's drain waits for a line that stands
// still (XOFF held, a full device, a dead line).
inline constexpr std::chrono::seconds kDeliveryMargin{3};
// While a UART still sends a block that has left the port, the writer looks
// at its output queue again after the queue's line time, but at least this
// often.
inline constexpr std::chrono::milliseconds kLongestOutputLook{20};
// A closed port's drain looks at the progress of a UART's own queue at least
// this often while it waits for room.
inline constexpr std::chrono::milliseconds kLongestDrainLook{100};

}  // namespace quorlin::port_limits
