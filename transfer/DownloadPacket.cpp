#include "transfer/DownloadPacket.h"

namespace quorlin {

DownloadPacket MakeBlockHeaderPacket(uint32_t blockSum) {
    DownloadPacket packet{};
    packet[0] = 'Z';
    packet[1] = 'Z';
    packet[2] = kPacketBlock;
    packet[6] = 0x00;  // bytes 3..7: the block length 32768, least significant first
    packet[7] = 0x80;
    packet[8] = static_cast<uint8_t>(blockSum & 0xFF);
    packet[9] = static_cast<uint8_t>((blockSum >> 8) & 0xFF);
    return packet;
}

DownloadPacket MakeVerdictPacket(bool sumsMatch) {
    DownloadPacket packet{};
    packet[0] = 'Z';
    packet[1] = 'Z';
    packet[2] = kPacketVerdict;
    packet[3] = sumsMatch ? 1 : 0;
    return packet;
}

void ReplyScanner::Reset() {
    m_nCount = 0;
    m_bCollecting = false;
}

std::optional<DownloadPacket> ReplyScanner::ScanReplyPacket(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (!m_bCollecting) {
            if (m_packet[0] == 'Z' && b == 'Z') {
                m_packet[1] = 'Z';
                m_nCount = 2;
                m_bCollecting = true;
            } else {
                m_packet[0] = b;
            }
            continue;
        }
        // Still in a run of 'Z's: the packet starts at its last two. No
        // command is 'Z', so noise that ends in 'Z' before the answer's own
        // "ZZ" must not make the packet begin one byte early and miss it.
        if (m_nCount == 2 && b == 'Z') continue;
        m_packet[m_nCount++] = b;
        if (m_nCount == m_packet.size()) {
            m_bCollecting = false;
            DownloadPacket complete = m_packet;
            m_packet[0] = 0;
            return complete;
        }
    }
    return std::nullopt;
}

}  // namespace quorlin
