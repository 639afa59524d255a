#include "sim/DownloadPacket.h"

namespace quorlin::sim {

namespace {

Packet Blank(std::uint8_t command) {
    Packet packet{};
    packet[0] = kPacketMark;
    packet[1] = kPacketMark;
    packet[2] = command;
    return packet;
}

}  // namespace

Packet MakeAnswer(std::uint8_t command) { return Blank(command); }

Packet MakeBlockHeader(std::uint32_t length, std::uint32_t sum) {
    Packet packet = Blank(kCommandBlock);
    packet[6] = static_cast<std::uint8_t>(length & 0xFF);
    packet[7] = static_cast<std::uint8_t>((length >> 8) & 0xFF);
    packet[8] = static_cast<std::uint8_t>(sum & 0xFF);
    packet[9] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
    return packet;
}

Packet MakeVerdict(std::uint8_t verdict) {
    Packet packet = Blank(kCommandVerdict);
    packet[3] = verdict;
    return packet;
}

std::optional<BlockHeader> ParseBlockHeader(const Packet& packet) {
    if (packet[0] != kPacketMark || packet[1] != kPacketMark || packet[2] != kCommandBlock) return std::nullopt;
    if (packet[3] != 0 || packet[4] != 0 || packet[5] != 0) return std::nullopt;
    BlockHeader header;
    header.length = static_cast<std::uint32_t>(packet[6]) | static_cast<std::uint32_t>(packet[7]) << 8;
    header.sumLow = static_cast<std::uint16_t>(packet[8] | packet[9] << 8);
    return header;
}

std::uint32_t SumBytes(const std::uint8_t* data, std::size_t count) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += data[i];
    return sum;
}

std::optional<Packet> PacketScanner::Feed(std::uint8_t byte) {
    if (count_ < 2) {
        if (byte == kPacketMark) {
            packet_[count_++] = byte;
        } else {
            count_ = 0;
        }
        return std::nullopt;
    }
    packet_[count_++] = byte;
    if (count_ < kPacketSize) return std::nullopt;
    count_ = 0;
    return packet_;
}

void PacketScanner::Reset() { count_ = 0; }

}  // namespace quorlin::sim
