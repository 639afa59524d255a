// The byte-level rules: cleaning, the log's timestamp, the settings' numbers,
// the download packets and the reply scanner, and the text-file rules.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "tests/transfer/EngineFixture.h"
#include "transfer/CommSettings.h"
#include "transfer/DownloadPacket.h"
#include "transfer/SystemType.h"
#include "transfer/TextRules.h"
#include "transfer/TransferFile.h"

namespace quorlin::test {
namespace {

std::string Normalized(std::string text) {
    NormalizeText(text);
    return text;
}

TEST(NormalizeText, UpperCasesAndDropsBlanksCrsAndEmptyLines) {
    EXPECT_EQ(Normalized("g01 x1\r\n\r\n\n+m30\r\n"), "G01X1\n+M30\n");
    EXPECT_EQ(Normalized("\tg1 ; tab\n"), "\tG1;TAB\n");  // tabs and '+' stay
    EXPECT_EQ(Normalized("\n\n\n"), "\n");
    EXPECT_EQ(Normalized("n1 \xC3\xA9t\xC3\xA9"), "N1\xC3\xA9T\xC3\xA9");  // UTF-8 bytes intact
}

TEST(IsDataChar, RejectsNulCrBlankAndPlusOnly) {
    for (int c = 0; c < 256; ++c) {
        const bool rejected = c == 0 || c == '\r' || c == ' ' || c == '+';
        EXPECT_EQ(IsDataChar(static_cast<uint8_t>(c)), !rejected) << c;
    }
}

TEST(CleanXonLine, DropsBlanksTabsAndCrKeepsPlus) {
    std::string line = " +m30\t x\r";
    CleanXonLine(line);
    EXPECT_EQ(line, "+M30X");
}

// The moment of a local calendar time, whatever the machine's time zone.
std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

TEST(LogTimestamp, IsLineBreakLocalDateCommaTimeAndThreeBlanks) {
    EXPECT_EQ(FormatLogTimestamp(LocalMoment(2000, 1, 2, 3, 4, 5)), "\r\n2000 01 02, 03:04:05   ");
    EXPECT_EQ(FormatLogTimestamp(LocalMoment(2026, 12, 7, 18, 14, 59)), "\r\n2026 12 07, 18:14:59   ");
}

TEST(Texts, PortNumberIsFormattedIntoTheMessage) {
    EXPECT_EQ(FormatWithNumber("Can not open COM%d !", 0), "Can not open COM0 !");
    EXPECT_EQ(FormatWithNumber("Can not open COM%d !", 12), "Can not open COM12 !");
}

TEST(CommSettings, BaudFollowsFamilyAndIndex) {
    EXPECT_EQ(BaudForIndex(3, 1), 115200);
    EXPECT_EQ(BaudForIndex(4, 1), 19200);
    EXPECT_EQ(BaudForIndex(2, 1), 9600);
    EXPECT_EQ(BaudForIndex(3, 0), 9600);
    EXPECT_EQ(BaudForIndex(4, -1), 9600);
}

TEST(CommSettings, PortNumberIsTheListEntryOrZero) {
    CommSettings s;
    s.portList = {2, 5, 0, 0, 0};
    s.commPort = 1;
    EXPECT_EQ(s.GetPortNumber(), 5u);
    s.commPort = 3;
    EXPECT_EQ(s.GetPortNumber(), 0u);
    s.commPort = -1;
    EXPECT_EQ(s.GetPortNumber(), 0u);
    s.commPort = 7;
    EXPECT_EQ(s.GetPortNumber(), 0u);
}

TEST(SystemType, NamesOfFamiliesAndPorts) {
    EXPECT_EQ(GetSystemTypeName(0), "5100R,43E,43RP");
    EXPECT_EQ(GetSystemTypeName(4), "L20,L30,L40,L50");
    EXPECT_EQ(GetSystemTypeName(5), "");
    CommSettings s;
    s.portList = {1, 3, 10, 0, 0};
    EXPECT_EQ(GetPortName(s, 2), "COM10");
    EXPECT_EQ(GetPortName(s, 3), "");
    EXPECT_EQ(GetPortName(s, -1), "");
}

TEST(DownloadPacket, HeaderCarriesLengthAndLowSumBits) {
    const DownloadPacket header = MakeBlockHeaderPacket(0x0012ABCD);
    const DownloadPacket expected = {'Z', 'Z', 0x10, 0, 0, 0, 0x00, 0x80, 0xCD, 0xAB};
    EXPECT_EQ(header, expected);
    EXPECT_EQ(MakeVerdictPacket(true), (DownloadPacket{'Z', 'Z', 0x11, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(MakeVerdictPacket(false)[3], 0);
}

std::optional<DownloadPacket> Scan(ReplyScanner& scanner, const std::string& bytes) {
    return scanner.ScanReplyPacket(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(ReplyScanner, AssemblesPacketSplitOverChunksAfterNoise) {
    ReplyScanner scanner;
    EXPECT_FALSE(Scan(scanner, std::string("noise Z!ZX\0", 11)));
    EXPECT_FALSE(Scan(scanner, std::string("ZZ\x10\0\0", 5)));
    const auto packet = Scan(scanner, std::string("\0\0\0\0\0tail", 9));
    ASSERT_TRUE(packet);
    EXPECT_EQ((*packet)[2], 0x10);
    // The tail behind the packet was dropped, and the previous byte reset:
    // a single 'Z' now does not complete a start.
    EXPECT_FALSE(Scan(scanner, std::string("Z\x11", 2)));
}

TEST(ReplyScanner, ResetDropsHalfPacketButKeepsPreviousByte) {
    ReplyScanner scanner;
    EXPECT_FALSE(Scan(scanner, "ZZ\x11"));
    scanner.Reset();
    EXPECT_FALSE(Scan(scanner, "Z"));
    scanner.Reset();
    // The previous 'Z' is kept across the reset, so one more 'Z' starts.
    const auto packet = Scan(scanner, std::string("Z\x10\0\0\0\0\0\0\0", 9));
    ASSERT_TRUE(packet);
    EXPECT_EQ((*packet)[2], 0x10);
}

// Noise that ends in 'Z' runs into the packet's own "ZZ": the packet
// starts at the last two of the 'Z's, so the answer is still found (it was
// once taken from the noise's 'Z' on, with 'Z' as its command, and the
// download waited for ever for an answer that had come).
TEST(ReplyScanner, PacketBehindNoiseEndingInZIsFound) {
    for (const std::string noise : {"\xE5" "7Z", "ZZ", "ZZZZZ"}) {
        ReplyScanner scanner;
        const std::string answer = std::string("ZZ\x10", 3) + std::string(7, '\0');
        const auto packet = Scan(scanner, noise + answer);
        ASSERT_TRUE(packet) << "after noise of " << noise.size() << " bytes";
        EXPECT_EQ(std::string(packet->begin(), packet->end()), answer);
    }
    // The same when the run of 'Z's is split over chunks.
    ReplyScanner scanner;
    EXPECT_FALSE(Scan(scanner, "noise Z"));
    EXPECT_FALSE(Scan(scanner, "Z"));
    EXPECT_FALSE(Scan(scanner, "Z"));
    const auto packet = Scan(scanner, std::string("\x11\0\0\0\0\0\0\0", 8));
    ASSERT_TRUE(packet);
    EXPECT_EQ((*packet)[2], 0x11);
}

class TextFiles : public EngineFixture {};

TEST_F(TextFiles, ProgramIsReadWithCrLfAsLfUpToSub) {
    const std::string path = MakeFile("p.nc", "a\r\nb\rc\r\n\x1A" "after");
    ProgramReader reader;
    ASSERT_TRUE(reader.Open(path));
    char text[64];
    const size_t got = reader.Read(text, sizeof text);
    EXPECT_EQ(std::string(text, got), "a\nb\rc\n");
    EXPECT_EQ(reader.Offset(), 8u);
    EXPECT_EQ(reader.Length(), 14u);
    EXPECT_EQ(reader.Get(), -1);
}

// Paper-tape leader, fill and trailer are no characters of the program,
// also between the CR and LF of a line end and across the reader's buffer.
TEST_F(TextFiles, ProgramIsReadWithoutItsNuls) {
    const std::string tape = std::string(5000, '\0') + std::string("%\r\0\nN1\0G1\r\n", 12) + std::string(30, '\0');
    const std::string path = MakeFile("p.nc", tape);
    ProgramReader reader;
    ASSERT_TRUE(reader.Open(path));
    std::string line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "%");
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "N1G1");
    EXPECT_FALSE(reader.ReadLine(line));
    EXPECT_EQ(reader.Offset(), tape.size());
}

TEST_F(TextFiles, LinesComeWithoutTheirEnds) {
    const std::string path = MakeFile("p.nc", "g1\r\n\r\nlast");
    ProgramReader reader;
    ASSERT_TRUE(reader.Open(path));
    std::string line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "g1");
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(reader.ReadLine(line));
}

TEST_F(TextFiles, ReceivedProgramIsStoredWithCrLfOverAnOldFile) {
    const std::string path = MakeFile("r.nc", "old content that is longer");
    ProgramWriter writer;
    ASSERT_TRUE(writer.Open(path));
    ASSERT_TRUE(writer.Write("N1\nG0\r\n", 7));
    EXPECT_EQ(writer.Offset(), 8u);
    const FileOutcome committed = writer.Commit();
    ASSERT_TRUE(committed) << committed.Failure().text;
    EXPECT_EQ(ReadFile(path), "N1\r\nG0\r\n");
}

TEST_F(TextFiles, AFileInUseByAnotherTransferDoesNotOpen) {
    const std::string path = MakeFile("p.nc", "x");
    TransferInputFile first, second;
    ASSERT_TRUE(first.Open(path));
    const FileOutcome refused = second.Open(path);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Failure().cause, FileErrorCause::LockViolation);
    EXPECT_FALSE(refused.Failure().operation.empty());  // the call that refused it
    EXPECT_EQ(refused.Failure().text, "another transfer is using it");
    first.Close();
    EXPECT_TRUE(second.Open(path));
}

}  // namespace
}  // namespace quorlin::test
