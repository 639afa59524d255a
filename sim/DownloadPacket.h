#pragma once
// The 10-byte control packets of a block download, as the controller sees
// them: 'Z', 'Z', a command and seven argument bytes. The PC announces each
// 32768-byte block with a header packet 0x10 (length at offsets 6 and 7, the
// block's byte sum's low 16 bits at offsets 8 and 9, least significant byte
// first); the controller answers 0x10 (go on) or 0x11 (send your verdict);
// the PC's verdict packet 0x11 carries 1 at offset 3 when its sums agreed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorlin::sim {

constexpr std::size_t kPacketSize = 10;
constexpr std::size_t kBlockSize = 32768;
constexpr std::uint8_t kPacketMark = 'Z';
constexpr std::uint8_t kCommandBlock = 0x10;    // header; answer "go on"
constexpr std::uint8_t kCommandVerdict = 0x11;  // verdict; answer "send verdict"

using Packet = std::array<std::uint8_t, kPacketSize>;

// 'Z', 'Z', command, zeros: the controller's answer to a block.
Packet MakeAnswer(std::uint8_t command);

// The header the PC writes before a block of `length` bytes with byte sum
// `sum` (only its low 16 bits travel).
Packet MakeBlockHeader(std::uint32_t length, std::uint32_t sum);

// The verdict packet the PC writes after an answer 0x11.
Packet MakeVerdict(std::uint8_t verdict);

struct BlockHeader {
    std::uint32_t length;
    std::uint16_t sumLow;
};

// A header packet 0x10 with zero bytes at offsets 3 to 5; nothing otherwise.
std::optional<BlockHeader> ParseBlockHeader(const Packet& packet);

// Unsigned 32-bit byte sum, wrapping.
std::uint32_t SumBytes(const std::uint8_t* data, std::size_t count);

// Finds packets in a byte stream: two 'Z's in a row start one, the next eight
// bytes complete it. Bytes before the two 'Z's are skipped.
class PacketScanner {
public:
    // Takes one byte; a packet when this byte completed one.
    std::optional<Packet> Feed(std::uint8_t byte);
    void Reset();
    bool Collecting() const { return count_ >= 2; }

private:
    Packet packet_{};
    std::size_t count_ = 0;  // bytes of packet_ collected; 1 after a lone 'Z'
};

}  // namespace quorlin::sim
