#pragma once
// The controller's side of a block download, without any I/O: it finds the
// header packets, collects each announced block, checks the block's sum
// against its header and reads the PC's verdicts. The caller answers each
// block and reports what happened.

#include <cstddef>
#include <cstdint>
#include <variant>
#include <vector>

#include "sim/DownloadPacket.h"

namespace quorlin::sim {

// A whole block has arrived.
struct BlockReceived {
    int index;                 // 1 for the first block
    std::uint32_t length;      // as announced
    std::uint16_t headerSum;   // low 16 bits the header carried
    std::uint32_t sum;         // byte sum of the bytes received
    bool sumMatches;           // low 16 bits of sum equal headerSum
};

// The PC's verdict packet after an answer 0x11.
struct VerdictReceived {
    int afterBlock;
    std::uint8_t verdict;
};

// A packet that is neither a header nor a verdict.
struct UnexpectedPacket {
    Packet packet;
};

using DownloadEvent = std::variant<BlockReceived, VerdictReceived, UnexpectedPacket>;

class BlockDownload {
public:
    // Takes received bytes; appends what they completed to `events`.
    void Feed(const std::uint8_t* data, std::size_t count, std::vector<DownloadEvent>& events);

    // Every block's bytes, in order of arrival.
    const std::vector<std::uint8_t>& Data() const { return data_; }
    int Blocks() const { return blocks_; }
    // A block is being received (its header came, not all its bytes).
    bool InBlock() const { return remaining_ > 0; }

private:
    PacketScanner scanner_;
    std::vector<std::uint8_t> data_;
    std::size_t blockStart_ = 0;
    std::size_t remaining_ = 0;  // bytes still to come of the current block
    BlockHeader header_{};
    int blocks_ = 0;
};

}  // namespace quorlin::sim
