// Closing a port keeps what was handed to the device, and Flush lets a host
// that closes right after its last block wait for that block to go.
#include <thread>

#include "serial/OutputDrain.h"

#include "tests/serial/SerialPortFixture.h"

namespace quorlin {
namespace {

using ClosingPort = SerialPortOnPty;
using FlushingPort = SerialPortOnPty;

// Longer than the 4095 bytes a pty master's line discipline takes in: the
// rest waits in the master's input buffer, which a flush of the slave's
// output throws away.
constexpr uint32_t kBigBlock = 5000;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

TEST_F(ClosingPort, TheLastBlockBeforeCloseReachesTheOtherSide) {
    OpenMonitored();
    const std::string block = Pattern(kBigBlock);
    port.Write(block.data(), kBigBlock);
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
    port.Close();
    EXPECT_TRUE(pty.ReadExactly(block.size()) == block) << "bytes handed over were thrown away";
}

TEST_F(ClosingPort, ABlockGivenToTheWriterIsHandedOverBeforeClose) {
    // With XON/XOFF every block goes through the writer: Close right after
    // Write still lets it reach the device when nothing holds the line.
    OpenMonitored(HandshakeXonXoff);
    const std::string block = Pattern(kBigBlock, 1);
    port.Write(block.data(), kBigBlock);
    port.Close();
    EXPECT_TRUE(pty.ReadExactly(block.size()) == block);
}

TEST_F(ClosingPort, CloseWithAQueueHeldByXoffReturnsAtOnceAndTheBytesFollowXon) {
    OpenMonitored(HandshakeXonXoff);
    const std::string sent = Pattern(kBigBlock, 2);
    port.Write(sent.data(), kBigBlock);
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
    SendAndConfirm(std::string(1, kXoff));
    std::string owed;
    for (unsigned block = 3; owed.size() + kBigBlock <= port.WriteQueueLimit(); ++block) {
        const std::string text = Pattern(kBigBlock, block);
        ASSERT_TRUE(port.Write(text.data(), kBigBlock));
        owed += text;
    }
    const auto took = TimeHostCall("Close (full queue, XOFF held)", [&] { port.Close(); });
    std::printf("Close with %zu bytes queued under XOFF: %lld ms\n", owed.size(),
                static_cast<long long>(took.count()));
    EXPECT_LT(took, kHostCallBound);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(pty.ReadExactly(sent.size()) == sent) << "the block sent before XOFF was lost";
    EXPECT_EQ(pty.ReadAvailable(), "") << "nothing passes the XOFF after Close either";
    ASSERT_TRUE(pty.Write(std::string(1, kXon)));
    EXPECT_TRUE(pty.ReadExactly(owed.size()) == owed) << "the queue did not follow the XON in order";
}

TEST_F(ClosingPort, TheLastBlockOfACompletedSendArrivesWholeAfterCloseOnAFullDevice) {
    OpenMonitored(HandshakeNone);
    // A controller that is slow to read: the pty fills, the last blocks of
    // the send are still in the port's queue when the host closes.
    std::string sent;
    for (unsigned block = 0; sent.size() + kBigBlock <= port.WriteQueueLimit(); ++block) {
        const std::string text = Pattern(kBigBlock, block);
        ASSERT_TRUE(port.Write(text.data(), kBigBlock));
        sent += text;
    }
    EXPECT_LT(TimeHostCall("Close (full device)", [&] { port.Close(); }), kHostCallBound);
    const std::string received = pty.ReadExactly(sent.size());
    EXPECT_TRUE(received == sent) << "got " << received.size() << " of " << sent.size();
}

TEST_F(ClosingPort, ALaterOpenWaitsForTheDrainOnlyAsLongAsItNeeds) {
    OpenMonitored(HandshakeXonXoff);
    SendAndConfirm(std::string(1, kXoff));
    const std::string owed = Pattern(kBigBlock, 4);
    ASSERT_TRUE(port.Write(owed.data(), kBigBlock));
    port.Close();
    // The controller reads and lets the output go a little later.
    std::string received;
    std::thread controller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the controller's own pace
        EXPECT_TRUE(pty.Write(std::string(1, kXon)));
        received = pty.ReadExactly(owed.size());
    });
    const auto took = TimeWait([&] { ASSERT_TRUE(port.Open(&owner, kPort, 0)); });
    controller.join();
    std::printf("Open waited %lld ms for the drain\n", static_cast<long long>(took.count()));
    EXPECT_TRUE(received == owed);
    EXPECT_LT(took, OutputDrain::kStallLimit) << "Open waited past the drain's end";
}

TEST_F(ClosingPort, ALineThatStaysStoppedLosesOnlyTheStuckBytesAndOpenWaitsNoLongerThanTheBound) {
    OpenMonitored(HandshakeXonXoff);
    SendAndConfirm(std::string(1, kXoff));
    const std::string stuck = Pattern(kBigBlock, 5);
    ASSERT_TRUE(port.Write(stuck.data(), kBigBlock));
    EXPECT_LT(TimeHostCall("Close (XOFF held)", [&] { port.Close(); }), kHostCallBound);
    const auto took = TimeWait([&] {
        ASSERT_TRUE(port.Open(&owner, kPort, 0));
    });
    EXPECT_LT(took, OutputDrain::kStallLimit + std::chrono::seconds(2));
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(port.StartMonitoring());
    port.WriteString("fresh");
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
    EXPECT_EQ(pty.ReadExactly(5), "fresh");
    EXPECT_EQ(pty.ReadAvailable(), "") << "the stuck block turned up late";
}

TEST_F(FlushingPort, FlushWaitsUntilTheBlockHasBeenHandedOver) {
    OpenMonitored(HandshakeXonXoff);
    port.Init(115200, 'n', 8, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    SendAndConfirm(std::string(1, kXoff));
    const std::string block = Pattern(kBigBlock, 4);
    port.Write(block.data(), kBigBlock);
    std::thread controller([&] { EXPECT_TRUE(pty.Write(std::string(1, kXon))); });
    port.Flush();
    controller.join();
    EXPECT_EQ(port.LastError(), "") << "Flush gave up";
    CommStatus status;
    port.GetStatus(status);
    EXPECT_EQ(status.outQueue, 0u) << "Flush returned before the block had left the port";
    port.Close();
    EXPECT_TRUE(pty.ReadExactly(block.size()) == block);
}

TEST_F(FlushingPort, FlushGivesUpOnALineHeldByXoffAndKeepsTheBlock) {
    OpenMonitored(HandshakeXonXoff);
    port.Init(115200, 'n', 8, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    SendAndConfirm(std::string(1, kXoff));
    const std::string block = Pattern(64, 5);
    port.Write(block.data(), static_cast<uint32_t>(block.size()));
    port.Flush();  // returns after its deadline
    EXPECT_TRUE(StartsWith(port.LastError(), "FlushFileBuffers()")) << port.LastError();
    ASSERT_TRUE(pty.Write(std::string(1, kXon)));
    EXPECT_EQ(pty.ReadExactly(block.size()), block) << "giving up must not drop the block";
    EXPECT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
}

TEST_F(FlushingPort, FlushReturnsOnALostDevice) {
    OpenMonitored(HandshakeXonXoff);
    SendAndConfirm(std::string(1, kXoff));
    const std::string block = Pattern(kBigBlock, 6);
    port.Write(block.data(), kBigBlock);
    pty.CloseMaster();
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1));
    port.Flush();
    EXPECT_TRUE(StartsWith(port.LastError(), "FlushFileBuffers()")) << port.LastError();
}

TEST_F(FlushingPort, FlushWithoutMonitoringDrainsTheDevice) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(9600, 'n', 8, 1, HandshakeNone, 0);
    port.Flush();
    EXPECT_EQ(port.LastError(), "");
}

}  // namespace
}  // namespace quorlin
