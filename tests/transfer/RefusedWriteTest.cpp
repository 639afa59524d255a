// A block the port will not take (its queue full, the port closed, the
// device gone) ends the running transfer with a log line and a message: it
// is never lost silently and never reported as a completed transfer.

#include <algorithm>

#include "tests/transfer/EngineFixture.h"

namespace quorlin::test {
namespace {

const std::string kRefusedEnd = "Transfer stopped: the serial port did not take the data\r\n";

class RefusedWrite : public EngineFixture {
protected:
    // The transfer ended as refused: its log line last, one "Error" box
    // naming the port, the progress window gone, nothing more written.
    void ExpectEndedAsRefused() {
        EXPECT_FALSE(engine->IsTransferring());
        EXPECT_EQ(engine->LastEndResult(), EndResult::WriteRefused);
        EXPECT_TRUE(WithoutSummaries(host.log).ends_with(kRefusedEnd)) << host.log;
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].caption, "Error");
        EXPECT_EQ(host.messages[0].icon, MessageBoxIcon::Error);
        EXPECT_NE(host.messages[0].text.find("COM3"), std::string::npos) << host.messages[0].text;
        EXPECT_FALSE(host.progressOpen);
        EXPECT_FALSE(host.busy);
        const auto calls = port->Calls();
        const auto refused = std::find(calls.rbegin(), calls.rend(), "Refused");
        ASSERT_NE(refused, calls.rend());
        EXPECT_EQ(std::find(calls.rbegin(), refused, "Write"), refused) << "nothing written after the refusal";
    }
};

TEST_F(RefusedWrite, EndsAnEchoSendMidway) {
    UseFamily(0);
    engine->SendFile(MakeFile("p.nc", "g1 x2\r\nm30\r\n"));
    port->RefuseWritesAfter(2);
    for (int i = 0; i < 5 && engine->IsTransferring(); ++i) ControllerSends("k");
    EXPECT_EQ(port->Written(), "G1X");
    ExpectEndedAsRefused();
}

TEST_F(RefusedWrite, OfTheClosingSubIsNoCompletedSend) {
    UseFamily(0);
    engine->SendFile(MakeFile("p.nc", "g1\r\n"));
    ControllerSends("k");
    ControllerSends("k");
    ASSERT_EQ(port->Written(), "G1\n");
    port->RefuseWritesAfter(0);
    ControllerSends("k");  // would send SUB and complete
    ExpectEndedAsRefused();
}

TEST_F(RefusedWrite, EndsABlockSendOfAFileAndOfADocument) {
    UseFamily(1);
    port->RefuseWritesAfter(1);
    engine->SendFile(MakeFile("p.nc", std::string(600, 'g')));
    TxEmpty();
    ExpectEndedAsRefused();

    host.messages.clear();
    port->RefuseWritesAfter(0);
    engine->SendCurrentFile("G1\r\n", "");
    ExpectEndedAsRefused();
    EXPECT_EQ(host.log.find("File sending completed"), std::string::npos);
}

TEST_F(RefusedWrite, EndsAnXonSend) {
    UseFamily(4);
    engine->SendFile(MakeFile("p.nc", "g1\r\n"));
    port->RefuseWritesAfter(0);
    ControllerSends("\x11");
    ExpectEndedAsRefused();
}

TEST_F(RefusedWrite, EndsADownloadAtAPieceAndAtTheVerdict) {
    UseFamily(0);
    port->RefuseWritesAfter(1);
    engine->DownloadFile(MakeFile("pic.bmp", std::string(2000, 'p')), DownloadKind::Interface);
    TxEmpty();
    ExpectEndedAsRefused();

    // Blocks: the verdict packet refused, so no next block is started.
    host.messages.clear();
    port->AcceptWrites();
    UseFamily(3);
    std::string image("%QZ", 3);
    image.append(19, '\0');
    image += std::string(100, '\0');  // sums to 0, as the header says
    engine->DownloadFile(MakeFile("sys.bin", image), DownloadKind::SystemSoftware);
    for (int i = 0; i < 65; ++i) TxEmpty();
    port->RefuseWritesAfter(0);
    port->Feed(std::string("ZZ\x11\0\0\0\0\0\0\0", 10));
    engine->HandleMessage(WM_SERIAL_RXDATA, 0, 10);
    EXPECT_EQ(host.Queued(), 0u) << "no empty-queue message may start another block";
    ExpectEndedAsRefused();
}

TEST_F(RefusedWrite, OfAnEchoAnswerEndsAReceiveAndKeepsTheFile) {
    UseFamily(0);
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    ControllerSends("N");
    port->RefuseWritesAfter(0);
    ControllerSends("1");
    ExpectEndedAsRefused();
    EXPECT_EQ(ReadFile(path), "N");
}

TEST_F(RefusedWrite, BecauseTheDeviceIsGoneNamesTheLostPort) {
    UseFamily(1);
    engine->SendFile(MakeFile("p.nc", std::string(2000, 'g')));
    port->RefuseWritesAfter(0, /*lost=*/true);
    TxEmpty();
    EXPECT_EQ(engine->LastEndResult(), EndResult::PortLost);
    EXPECT_NE(host.log.find("Transfer stopped: the serial port was lost\r\n"), std::string::npos);
    ASSERT_EQ(host.messages.size(), 1u);
    // The port's own message about the loss, still queued, then only closes it.
    engine->HandleMessage(WM_SERIAL_DEVLOST, 0, 0);
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(RefusedWrite, OfTheCancelSubStillCancelsAndSaysTheControllerWasNotTold) {
    UseFamily(1);
    engine->ReceiveFile((folder / "r.nc").string());
    port->RefuseWritesAfter(0);
    engine->OnReceiveDlgCancel();
    EXPECT_EQ(engine->LastEndResult(), EndResult::ReceiveCancelled);
    EXPECT_TRUE(LogMatches(kTimestamp + "Begin to receive file\r\n" + kTimestamp + "File receiving cancelled\r\n"))
        << host.log;
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "Error");
}

}  // namespace
}  // namespace quorlin::test
