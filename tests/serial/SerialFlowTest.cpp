// XON/XOFF output flow (handshake 5), done by the port itself, and the ways
// a stopped output must not hang the port.
#include <thread>

#include "tests/serial/SerialPortFixture.h"

namespace quorlin {
namespace {

using test::PostedMessage;
using Messages = std::vector<PostedMessage>;


using XonXoff = SerialPortOnPty;

TEST_F(XonXoff, XoffStopsTheOutputAndXonResumesIt) {
    OpenMonitored(HandshakeXonXoff);
    SendAndConfirm(std::string(1, kXoff));
    const std::string block = Pattern(3000);
    port.Write(block.data(), static_cast<uint32_t>(block.size()));
    SendAndConfirm("");  // the writer has had every chance to send meanwhile
    EXPECT_EQ(pty.ReadAvailable(), "") << "nothing leaves while stopped";
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 0u);
    ASSERT_TRUE(pty.Write(std::string(1, kXon)));
    EXPECT_EQ(pty.ReadExactly(block.size()), block);
    EXPECT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
}

TEST_F(XonXoff, OutputStopsWithinABoundedOverrunAfterXoff) {
    CSerialPort big(256 * 1024);  // more than a pty can hold
    ASSERT_TRUE(big.Open(&owner, kPort, 0));
    big.Init(9600, 'n', 8, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(big.StartMonitoring());
    const std::string block = Pattern(256 * 1024);
    big.Write(block.data(), static_cast<uint32_t>(block.size()));

    std::string received = pty.ReadExactly(2000);
    ASSERT_EQ(received.size(), 2000u);
    const size_t beforeXoff = received.size();
    SendAndConfirm(std::string(1, kXoff), big);
    const std::string overrun = pty.ReadAvailable();
    received += overrun;
    ::testing::Test::RecordProperty("overrun_bytes", static_cast<int>(overrun.size()));
    std::printf("overrun after XOFF: %zu bytes\n", overrun.size());
    // Bytes in the pty's own buffers when the XOFF was sent count too; the
    // port adds at most a piece or two. Either way the output stops well
    // before the end of the block.
    EXPECT_LT(beforeXoff + overrun.size(), block.size() / 2);
    SendAndConfirm("", big);
    EXPECT_EQ(pty.ReadAvailable(), "");

    ASSERT_TRUE(pty.Write(std::string(1, kXon)));
    received += pty.ReadExactly(block.size() - received.size());
    EXPECT_TRUE(received == block) << "stopping and resuming lost or changed bytes";
    EXPECT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
}

TEST_F(XonXoff, FlowCharactersDoNotReachRead) {
    OpenMonitored(HandshakeXonXoff);
    ASSERT_TRUE(pty.Write("a\x13" "b\x11" "c"));
    EXPECT_EQ(ReadFromPort(3), "abc");
    EXPECT_EQ(ReadAll(), "");
}

TEST_F(XonXoff, AWriteDuringAStoppedWriteIsQueuedAndChangesNothing) {
    OpenMonitored(HandshakeXonXoff);
    SendAndConfirm(std::string(1, kXoff));
    const std::string first = Pattern(kCapacity, 1);
    const std::string second = Pattern(kCapacity, 2);
    ASSERT_TRUE(port.Write(first.data(), kCapacity));
    ASSERT_TRUE(port.Write(second.data(), kCapacity));
    ASSERT_TRUE(pty.Write(std::string(1, kXon)));
    EXPECT_TRUE(pty.ReadExactly(2 * kCapacity) == first + second);
    EXPECT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 2));
}

TEST_F(XonXoff, InitWhileStoppedDoesNotWaitForTheStalledBlock) {
    OpenMonitored(HandshakeXonXoff);
    SendAndConfirm(std::string(1, kXoff));
    const std::string block = Pattern(kCapacity);
    port.Write(block.data(), kCapacity);
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);  // purges the block
    port.WriteString("after");
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
    // Nothing of the purged block comes before it. (Waited for: under Wine
    // the controller's end is a relay a little behind the device.)
    EXPECT_EQ(pty.ReadExactly(5), "after");
}

// Destroying a port does not wait for a line that does not move.
constexpr auto kDestroyBound = std::chrono::seconds(1);

TEST_F(XonXoff, DestroyingAPortStoppedByXoffReturnsPromptly) {
    auto stopped = std::make_unique<CSerialPort>(kCapacity);
    ASSERT_TRUE(stopped->Open(&owner, kPort, 0));
    stopped->Init(9600, 'n', 8, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(stopped->StartMonitoring());
    SendAndConfirm(std::string(1, kXoff), *stopped);
    const std::string block = Pattern(kCapacity);
    stopped->Write(block.data(), kCapacity);
    const auto took = TimeWait([&] { stopped.reset(); });
    EXPECT_LT(took, kDestroyBound);
    CSerialPort again;
    EXPECT_TRUE(again.Open(nullptr, kPort, 0));
    EXPECT_EQ(pty.ReadAvailable(), "") << "the stuck block was dropped, not sent late";
}

using FullDevice = SerialPortOnPty;

TEST_F(FullDevice, DestroyingAPortWhoseDeviceIsFullReturnsPromptly) {
    auto blocked = std::make_unique<CSerialPort>(kCapacity);
    ASSERT_TRUE(blocked->Open(&owner, kPort, 0));
    blocked->Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(blocked->StartMonitoring());
    const std::string block = Pattern(kCapacity);
    while (blocked->Write(block.data(), kCapacity)) {
    }
    // The controller reads nothing: the writer fills the pty and waits.
    ASSERT_EQ(pty.ReadExactly(1).size(), 1u);
    const auto took = TimeWait([&] { blocked.reset(); });
    EXPECT_LT(took, kDestroyBound);
}

}  // namespace
}  // namespace quorlin
