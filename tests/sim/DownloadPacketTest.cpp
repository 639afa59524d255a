#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sim/BlockDownload.h"
#include "sim/DownloadPacket.h"

namespace quorlin::sim {
namespace {

std::vector<std::uint8_t> Block(std::uint8_t seed) {
    std::vector<std::uint8_t> block(kBlockSize);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * seed + 3);
    return block;
}

std::vector<std::uint8_t> Framed(const std::vector<std::uint8_t>& block, std::uint32_t announcedSum) {
    const Packet header = MakeBlockHeader(kBlockSize, announcedSum);
    std::vector<std::uint8_t> bytes(kPacketSize + block.size());
    std::copy(header.begin(), header.end(), bytes.begin());
    std::copy(block.begin(), block.end(), bytes.begin() + kPacketSize);
    return bytes;
}

TEST(DownloadPacket, HeaderCarriesLengthAndLowSumLeastSignificantFirst) {
    const Packet header = MakeBlockHeader(32768, 0x12345678);
    const Packet expected{'Z', 'Z', 0x10, 0, 0, 0, 0x00, 0x80, 0x78, 0x56};
    EXPECT_EQ(header, expected);
    const auto parsed = ParseBlockHeader(header);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->length, 32768u);
    EXPECT_EQ(parsed->sumLow, 0x5678);
}

TEST(DownloadPacket, HeaderWithArgumentsOutsideTheLengthIsNoHeader) {
    Packet header = MakeBlockHeader(32768, 0);
    header[4] = 1;
    EXPECT_FALSE(ParseBlockHeader(header));
    EXPECT_FALSE(ParseBlockHeader(MakeVerdict(1)));
}

TEST(PacketScanner, SkipsNoiseAndLoneZ) {
    PacketScanner scanner;
    const std::vector<std::uint8_t> stream{0x00, 'Z', 0x41, 0xFF, 'Z', 'Z', 0x11, 1, 0, 0, 0, 0, 0, 0};
    std::vector<Packet> found;
    for (const auto byte : stream)
        if (auto packet = scanner.Feed(byte)) found.push_back(*packet);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], MakeVerdict(1));
}

TEST(BlockDownload, BlockWhoseSumMatchesItsHeaderIsReportedGood) {
    BlockDownload download;
    const auto block = Block(7);
    const auto bytes = Framed(block, SumBytes(block.data(), block.size()));
    std::vector<DownloadEvent> events;
    // Fed in uneven pieces, as the line delivers it.
    for (std::size_t at = 0; at < bytes.size(); at += 777)
        download.Feed(bytes.data() + at, std::min<std::size_t>(777, bytes.size() - at), events);
    ASSERT_EQ(events.size(), 1u);
    const auto& received = std::get<BlockReceived>(events[0]);
    EXPECT_EQ(received.index, 1);
    EXPECT_TRUE(received.sumMatches);
    EXPECT_EQ(received.sum, SumBytes(block.data(), block.size()));
    EXPECT_EQ(download.Data(), block);
}

TEST(BlockDownload, BlockWithAWrongSumIsReportedBad) {
    BlockDownload download;
    const auto block = Block(3);
    const auto bytes = Framed(block, SumBytes(block.data(), block.size()) + 1);
    std::vector<DownloadEvent> events;
    download.Feed(bytes.data(), bytes.size(), events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(std::get<BlockReceived>(events[0]).sumMatches);
}

TEST(BlockDownload, PacketMarksInsideBlockDataAreData) {
    BlockDownload download;
    std::vector<std::uint8_t> block(kBlockSize, 'Z');
    block[100] = 0x10;
    auto bytes = Framed(block, SumBytes(block.data(), block.size()));
    const Packet verdict = MakeVerdict(1);
    bytes.insert(bytes.end(), verdict.begin(), verdict.end());
    std::vector<DownloadEvent> events;
    download.Feed(bytes.data(), bytes.size(), events);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(std::get<BlockReceived>(events[0]).sumMatches);
    const auto& received = std::get<VerdictReceived>(events[1]);
    EXPECT_EQ(received.afterBlock, 1);
    EXPECT_EQ(received.verdict, 1);
}

}  // namespace
}  // namespace quorlin::sim
