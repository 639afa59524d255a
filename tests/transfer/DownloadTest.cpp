// Software download: the plain stream (kinds 1, 2) and the answered blocks
// (kinds 3 to 5) with their packets, pieces, states and verdict.

#include "tests/transfer/EngineFixture.h"
#include "convert/UpdateFile.h"
#include "transfer/DownloadPacket.h"

namespace quorlin::test {
namespace {

std::string Packet(uint8_t command, uint8_t arg = 0) {
    std::string p("ZZ", 2);
    p.push_back(static_cast<char>(command));
    p.push_back(static_cast<char>(arg));
    p.append(6, '\0');
    return p;
}

std::string Bytes(size_t count, uint32_t seed) {
    std::string bytes(count, '\0');
    for (auto& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<char>(seed >> 16);
    }
    return bytes;
}

uint32_t Sum(const std::string& bytes) {
    return AddBytes(0, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void PutLE32(std::string& at, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[offset + i] = static_cast<char>(value >> (8 * i));
}

std::string UpdateFile(const std::string& payload, uint32_t checksum) {
    std::string file("%QZ", 3);
    file.append(19, '\0');
    PutLE32(file, 14, checksum);
    PutLE32(file, 18, static_cast<uint32_t>(payload.size()));
    return file + payload;
}

std::string Bitmap(uint32_t pixelOffset, const std::string& pixels) {
    std::string file = "BM" + std::string(52, '\0');
    PutLE32(file, 10, pixelOffset);
    PutLE32(file, 14, 40);
    if (pixelOffset == 1078) file += Bytes(1024, 7);  // a palette that does not sum to zero
    return file + pixels;
}

class Download : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        UseFamily(3);
    }
    // Empty-queue messages until the engine waits for the controller.
    void SendBlockBody() {
        for (int i = 0; i < 65; ++i) TxEmpty();
    }
};

TEST_F(Download, BlockIsHeaderThen64PiecesOf511AndOneOf64ThenWaits) {
    const std::string payload = Bytes(32768, 1);
    engine->DownloadFile(MakeFile("sys.bin", UpdateFile(payload, Sum(payload))), DownloadKind::SystemSoftware);
    const uint32_t sum = Sum(payload);
    const std::string header = {'Z', 'Z', 0x10, 0, 0, 0, 0, char(0x80), char(sum & 0xFF), char((sum >> 8) & 0xFF)};
    EXPECT_EQ(port->Writes(), std::vector<std::string>{header});
    SendBlockBody();
    auto writes = port->Writes();
    ASSERT_EQ(writes.size(), 66u);
    for (size_t i = 1; i <= 64; ++i) EXPECT_EQ(writes[i].size(), 511u) << i;
    EXPECT_EQ(writes[65].size(), 64u);
    std::string body;
    for (size_t i = 1; i < writes.size(); ++i) body += writes[i];
    EXPECT_EQ(body, payload);
    EXPECT_EQ(host.byteCount, 32790u);  // the whole file, header included

    TxEmpty();  // awaiting the answer: nothing goes out
    EXPECT_EQ(port->Writes().size(), 66u);
    ControllerSends(Packet(0x11));
    writes = port->Writes();
    ASSERT_EQ(writes.size(), 67u);
    EXPECT_EQ(writes[66], Packet(0x11, 1));
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);
    EXPECT_FALSE(host.progressOpen);
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to send file\r\nZZ\x11" + kTimestamp + "File sending completed\r\n"))
        << host.log;
}

TEST_F(Download, LastBlockIsZeroFilledSoAGoodImageGetsVerdictOne) {
    const std::string payload = Bytes(40000, 2);
    engine->DownloadFile(MakeFile("sys.bin", UpdateFile(payload, Sum(payload))), DownloadKind::SystemSoftware);
    SendBlockBody();
    ControllerSends(Packet(0x10));
    const auto writes = port->Writes();
    ASSERT_EQ(writes.size(), 67u);
    const uint32_t tailSum = Sum(payload.substr(32768));
    EXPECT_EQ(static_cast<uint8_t>(writes[66][8]), tailSum & 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(writes[66][9]), (tailSum >> 8) & 0xFF);
    SendBlockBody();
    std::string lastBlock;
    for (size_t i = 67; i < port->Writes().size(); ++i) lastBlock += port->Writes()[i];
    EXPECT_EQ(lastBlock, payload.substr(32768) + std::string(32768 - 7232, '\0'));
    EXPECT_EQ(host.byteCount, 22u + 40000u);
    ControllerSends(Packet(0x11));
    EXPECT_EQ(port->Writes().back(), Packet(0x11, 1));
    EXPECT_FALSE(engine->IsTransferring());
}

// Another program rewrites the image between the blocks: the download still
// sends the image as it was checked, one whole, and its verdict is 1; it
// once sent the new second half and ended "completed" over a verdict of 0.
TEST_F(Download, ImageRewrittenDuringTheDownloadIsSentAsItWasChecked) {
    const std::string payload = Bytes(40000, 3);
    const std::string path = MakeFile("sys.bin", UpdateFile(payload, Sum(payload)));
    engine->DownloadFile(path, DownloadKind::SystemSoftware);
    SendBlockBody();
    const std::string other = Bytes(40000, 4);
    MakeFile("sys.bin", UpdateFile(other, Sum(other)));
    ControllerSends(Packet(0x11));
    SendBlockBody();
    ControllerSends(Packet(0x11));
    std::string body;
    for (const std::string& write : port->Writes())
        if (write.size() >= 64) body += write;
    EXPECT_EQ(body, payload + std::string(2 * 32768 - payload.size(), '\0'));
    EXPECT_EQ(port->Writes().back(), Packet(0x11, 1));
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);
    EXPECT_NE(host.log.find("sys.bin: 65576 bytes sent, 2 blocks, verdict 1 in "), std::string::npos) << host.log;
}

TEST_F(Download, ShortImageGetsVerdictOneAndALyingChecksumIsRefused) {
    const std::string payload = Bytes(1000, 3);
    std::string file = UpdateFile(payload, Sum(payload));
    engine->DownloadFile(MakeFile("sys.bin", file), DownloadKind::ChineseFont);
    ASSERT_TRUE(engine->IsTransferring());
    // A single short block: its zero tail adds nothing to the sum.
    SendBlockBody();
    ControllerSends(Packet(0x11));
    EXPECT_EQ(port->Writes().back(), Packet(0x11, 1));

    PutLE32(file, 14, Sum(payload) + 1);
    host.log = "kept";
    port->ClearWrites();
    engine->DownloadFile(MakeFile("bad.bin", file), DownloadKind::SystemSoftware);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "This file is not a file for system update or is damaged!");
    EXPECT_EQ(host.messages[0].caption, "Error");
    EXPECT_EQ(host.log, "kept");
    EXPECT_TRUE(port->Writes().empty());
    EXPECT_FALSE(engine->IsTransferring());
}

TEST_F(Download, PictureVerdictComparesThePixelDataSent) {
    const std::string pixels = Bytes(5000, 4);
    engine->DownloadFile(MakeFile("pic.bmp", Bitmap(1078, pixels)), DownloadKind::InterfaceQva);
    SendBlockBody();
    std::string body;
    for (size_t i = 1; i < port->Writes().size(); ++i) body += port->Writes()[i];
    EXPECT_EQ(body, pixels + std::string(32768 - 5000, '\0'));
    ControllerSends(Packet(0x11));
    EXPECT_EQ(port->Writes().back(), Packet(0x11, 1));
}

TEST_F(Download, PictureWithoutAFullPaletteIsRefused) {
    engine->DownloadFile(MakeFile("rgb.bmp", Bitmap(54, Bytes(300, 5))), DownloadKind::InterfaceQva);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "This file is not a file for system update or is damaged!");
    EXPECT_FALSE(host.progressOpen);
    EXPECT_EQ(port->Inits().size(), 1u);  // the line keeps the standard settings
}

TEST_F(Download, ReplySplitOverChunksAfterNoiseStartsTheNextBlock) {
    const std::string payload = Bytes(40000, 6);
    engine->DownloadFile(MakeFile("sys.bin", UpdateFile(payload, Sum(payload))), DownloadKind::SystemSoftware);
    SendBlockBody();
    ControllerSends(Packet(0x12));  // an unknown answer changes nothing
    EXPECT_EQ(port->Writes().size(), 66u);
    ControllerSends("noise Z!");
    ControllerSends(std::string("ZZ\x10\0\0", 5));
    EXPECT_EQ(port->Writes().size(), 66u);
    ControllerSends(std::string("\0\0\0\0\0", 5));
    ASSERT_EQ(port->Writes().size(), 67u);
    EXPECT_EQ(port->Writes()[66].substr(0, 3), "ZZ\x10");
}

TEST_F(Download, ReplyDuringABlockSendsOneExtraPiece) {
    const std::string payload = Bytes(32768, 8);
    engine->DownloadFile(MakeFile("sys.bin", UpdateFile(payload, Sum(payload))), DownloadKind::SystemSoftware);
    TxEmpty();
    ControllerSends(Packet(0x10));
    EXPECT_EQ(port->Writes().size(), 3u);  // header, the piece of the TxEmpty, one extra
}

TEST_F(Download, LineSettingsFollowKindAndFamily) {
    const std::string payload = Bytes(10, 9);
    const std::string image = MakeFile("sys.bin", UpdateFile(payload, Sum(payload)));
    UseFamily(3, 1);
    engine->DownloadFile(image, DownloadKind::SystemSoftware);
    EXPECT_EQ(port->Inits().back(), (LineInit{115200, 'o', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY}));
    engine->OnSendDlgCancel();
    UseFamily(4, 1);
    engine->DownloadFile(image, DownloadKind::ChineseFont);
    EXPECT_EQ(port->Inits().back(), (LineInit{9600, 'o', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY}));
    engine->OnSendDlgCancel();
    UseFamily(3, 1);
    engine->DownloadFile(image, DownloadKind::Interface);
    EXPECT_EQ(port->Inits().back(), (LineInit{9600, 'o', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY}));
    engine->OnSendDlgCancel();
    engine->DownloadFile(image, DownloadKind::SoftwareP70);
    EXPECT_EQ(port->Inits().back(), (LineInit{19200, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY}));
    engine->OnSendDlgCancel();
}

TEST_F(Download, PlainStreamSendsRawPiecesAndOnlyLogsReplies) {
    UseFamily(0);
    const std::string image = Bytes(1100, 10) + "\r\n\x1A";
    engine->DownloadFile(MakeFile("pic.bmp", image), DownloadKind::Interface);
    ControllerSends(Packet(0x11));  // only logged
    for (int i = 0; i < 3; ++i) TxEmpty();
    const auto writes = port->Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].size(), 511u);
    EXPECT_EQ(writes[2].size(), 81u);
    EXPECT_EQ(writes[0] + writes[1] + writes[2], image);
    EXPECT_EQ(host.byteCounts, (std::vector<uint64_t>{0, 511, 1022, 1103}));
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);
}

TEST_F(Download, CancelDuringABlockEndsItAndLaterAnswersAreOnlyLogged) {
    const std::string payload = Bytes(40000, 11);
    engine->DownloadFile(MakeFile("sys.bin", UpdateFile(payload, Sum(payload))), DownloadKind::SystemSoftware);
    TxEmpty();
    engine->OnSendDlgCancel();
    const size_t sent = port->Writes().size();
    ControllerSends(Packet(0x11));
    TxEmpty();
    EXPECT_EQ(port->Writes().size(), sent);
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to send file\r\n" + kTimestamp + "File sending cancelled\r\nZZ\x11"))
        << host.log;
}

TEST_F(Download, HalfAnAnswerBeforeCancelDoesNotSpoilTheNextDownload) {
    const std::string payload = Bytes(40000, 12);
    const std::string image = MakeFile("sys.bin", UpdateFile(payload, Sum(payload)));
    engine->DownloadFile(image, DownloadKind::SystemSoftware);
    SendBlockBody();
    ControllerSends(std::string("ZZ\x10\0\0", 5));  // half an answer, then Cancel
    engine->OnSendDlgCancel();

    engine->DownloadFile(image, DownloadKind::SystemSoftware);
    const size_t before = port->Writes().size();
    SendBlockBody();
    ControllerSends(Packet(0x10));
    ASSERT_GT(port->Writes().size(), before + 65);
    EXPECT_EQ(port->Writes().back().substr(0, 3), "ZZ\x10");  // the next block's header went out
}

}  // namespace
}  // namespace quorlin::test
