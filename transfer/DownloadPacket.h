#pragma once
// The 10-byte 'Z','Z' control packets of a block download, the byte sum the
// packets carry, and the scanner that picks the controller's answers out of
// the received bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorlin {

using DownloadPacket = std::array<uint8_t, 10>;

constexpr uint8_t kPacketBlock = 0x10;    // PC: block header; controller: next block
constexpr uint8_t kPacketVerdict = 0x11;  // PC: verdict; controller: send the verdict
constexpr uint32_t kDownloadBlockSize = 32768;

// Header before each block: length 32768 and the low 16 bits of its sum.
DownloadPacket MakeBlockHeaderPacket(uint32_t blockSum);

// The verdict: 1 when the sums of the blocks sent match the image's, else 0.
DownloadPacket MakeVerdictPacket(bool sumsMatch);

// Assembles answer packets from received chunks. A packet starts with two
// consecutive 'Z' bytes (the last two of a longer run of them) and may be
// split over several chunks; bytes of a chunk behind a completed packet are
// dropped.
class ReplyScanner {
public:
    // Forgets a half-collected packet. The previous byte is kept.
    void Reset();
    std::optional<DownloadPacket> ScanReplyPacket(const uint8_t* bytes, size_t count);

private:
    DownloadPacket m_packet{};  // m_packet[0] doubles as the previous byte seen
    size_t m_nCount = 0;
    bool m_bCollecting = false;
};

}  // namespace quorlin
