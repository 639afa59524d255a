// Xon (family 4): blocks of whole lines, each asked for by DC1, ended by ESC
// or, the last, by SUB; DC3 stops.

#include "tests/transfer/EngineFixture.h"

namespace quorlin::test {
namespace {

const std::string kDC1 = "\x11";
const std::string kDC3 = "\x13";

class Xon : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        UseFamily(4, 1);
    }
};

TEST_F(Xon, WaitsForDc1ThenSendsTheByteTableRowInOneWrite) {
    engine->SendFile(MakeFile("p.nc", "g01 x1\r\n\r\n+m30\r\n"));
    EXPECT_TRUE(port->Writes().empty());
    ControllerSends(kDC1);
    EXPECT_EQ(port->Writes(), std::vector<std::string>{"G01X1\n\n+M30\n\x1A"});
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);  // no DC1 awaited after the last block
    EXPECT_FALSE(host.progressOpen);
}

TEST_F(Xon, LineIsSetToTheFamilysBaudWithoutHandshake) {
    engine->SendFile(MakeFile("p.nc", "g1\r\n"));
    ASSERT_EQ(port->Inits().size(), 2u);
    EXPECT_EQ(port->Inits()[1], (LineInit{19200, 'o', 7, 1, HandshakeNone, EV_RXCHAR}));
}

// The controller may answer as soon as the start is logged: the line must
// be set by then, as setting it empties the port's queues.
TEST_F(Xon, LineIsSetBeforeTheStartIsLogged) {
    host.onLog = [&](std::string_view) { port->Note("Log"); };
    const std::vector<std::string> expected = {"Open 3", "Init", "Start", "Init", "Log", "Log"};
    engine->SendFile(MakeFile("p.nc", "g1\r\n"));
    EXPECT_EQ(port->Calls(), expected);
    engine->OnSendDlgCancel();
    engine->SendCurrentFile("g1", "");
    auto calls = port->Calls();
    EXPECT_EQ(std::vector<std::string>(calls.end() - 6, calls.end()), expected);
    engine->OnSendDlgCancel();
    engine->ReceiveFile((folder / "r.nc").string());
    calls = port->Calls();
    EXPECT_EQ(std::vector<std::string>(calls.end() - 6, calls.end()), expected);
    EXPECT_EQ(port->Inits().back(), (LineInit{19200, 'o', 7, 1, HandshakeNone, EV_RXCHAR}));
}

TEST_F(Xon, Dc1SentOnTheStartLineIsAnswered) {
    host.onLog = [&](std::string_view text) {
        if (text.find("Begin to send file") != std::string_view::npos) port->Feed(kDC1);
    };
    engine->SendFile(MakeFile("p.nc", "n1g01x1y7\r\n"));
    ControllerSends("");
    EXPECT_EQ(port->Writes(), std::vector<std::string>{"N1G01X1Y7\n\x1A"});
}

TEST_F(Xon, ProgramSentOnTheStartLineIsStoredWhole) {
    host.onLog = [&](std::string_view text) {
        if (text.find("Begin to receive file") != std::string_view::npos) port->Feed("N1G01X1Y7\n\x1A");
    };
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    ControllerSends("");
    EXPECT_EQ(ReadFile(path), "N1G01X1Y7\r\n");
    EXPECT_EQ(engine->LastEndResult(), EndResult::ReceiveCompleted);
}

TEST_F(Xon, OnlyAFirstByteDc1OrDc3Counts) {
    engine->SendFile(MakeFile("p.nc", "g1\r\n"));
    ControllerSends("x" + kDC1);
    ControllerSends("\x13x");  // DC3 first: purged, and the send ends as stopped
    EXPECT_TRUE(port->Writes().empty());
    EXPECT_EQ(port->Calls().back(), "Purge");
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendStoppedByController);
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to send file\r\nx\x11\x13x" + kTimestamp +
                           "File sending stopped by the controller (DC3)\r\n"))
        << host.log;
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].text.find("after 0 bytes"), std::string::npos) << host.messages[0].text;
}

TEST_F(Xon, LinesAreAddedWhileTheBlockHoldsAtMost4063Bytes) {
    std::string file;
    for (int i = 0; i < 100; ++i) file += std::string(49, 'g') + "\r\n";  // 50 bytes a line on the line
    engine->SendFile(MakeFile("p.nc", file));
    ControllerSends(kDC1);
    ASSERT_EQ(port->Writes().size(), 1u);
    // 81 lines make 4050 bytes (still <= 4063), the 82nd makes 4100.
    EXPECT_EQ(port->Writes()[0].size(), 4101u);
    EXPECT_EQ(port->Writes()[0].back(), '\x1B');
    EXPECT_TRUE(engine->IsTransferring());
    ControllerSends(kDC1);
    EXPECT_EQ(port->Writes()[1].size(), 18u * 50 + 1);
    EXPECT_EQ(port->Writes()[1].back(), '\x1A');
    EXPECT_FALSE(engine->IsTransferring());
}

TEST_F(Xon, LineLongerThanTheWriteBufferIsSplitOverBlocks) {
    engine->SendFile(MakeFile("p.nc", "g1\r\n" + std::string(6000, 'x') + "\r\ng2\r\n"));
    std::string data;
    for (int i = 0; i < 10 && engine->IsTransferring(); ++i) ControllerSends(kDC1);
    ASSERT_FALSE(engine->IsTransferring());
    const auto writes = port->Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].size(), 5000u);
    EXPECT_EQ(writes[0].back(), '\x1B');
    EXPECT_EQ(writes[1].back(), '\x1A');
    for (const auto& w : writes) data += w.substr(0, w.size() - 1);
    EXPECT_EQ(data, "G1\n" + std::string(6000, 'X') + "\nG2\n");
}

TEST_F(Xon, DocumentLinesKeepTheirLfAndTheLastGetsOne) {
    engine->SendCurrentFile("g1 \tx\r\n\r\n+m30", "");
    ControllerSends(kDC1);
    EXPECT_EQ(port->Writes(), std::vector<std::string>{"G1X\n\n+M30\n\x1A"});
    EXPECT_EQ(host.byteCount, 13u);
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);
}

TEST_F(Xon, ShortFileGoesInOneWriteWithoutAnotherDc1) {
    engine->SendFile(MakeFile("p.nc", "g1"));
    ControllerSends(kDC1);
    EXPECT_EQ(port->Writes(), std::vector<std::string>{"G1\n\x1A"});
    EXPECT_FALSE(engine->IsTransferring());
}

TEST_F(Xon, ReceiveSetsTheLineAndStoresChunks) {
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    EXPECT_EQ(port->Inits().back(), (LineInit{19200, 'o', 7, 1, HandshakeNone, EV_RXCHAR}));
    ControllerSends("G1\n");
    ControllerSends("G2\n\x1A");
    EXPECT_EQ(ReadFile(path), "G1\r\nG2\r\n");
    EXPECT_EQ(engine->LastEndResult(), EndResult::ReceiveCompleted);
}

}  // namespace
}  // namespace quorlin::test
