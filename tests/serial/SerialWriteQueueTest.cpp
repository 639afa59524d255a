// Write never waits on the line: blocks that cannot go yet are queued in
// order, a block past the queue's bound is refused whole, and no host call
// waits for XOFF, a full device or a dead line.
#include <thread>

#include "tests/serial/SerialPortFixture.h"

namespace quorlin {
namespace {

using WriteQueue = SerialPortOnPty;

// Writes block on port, timed as a host call; true when it was accepted.
bool TimedWrite(CSerialPort& port, const std::string& block, std::chrono::milliseconds& took) {
    bool accepted = false;
    took = TimeHostCall("Write", [&] {
        accepted = port.Write(block.data(), static_cast<uint32_t>(block.size()));
    });
    return accepted;
}

TEST_F(WriteQueue, WritesDuringXoffReturnAtOnceAndArriveInOrderAfterXon) {
    OpenMonitored(HandshakeXonXoff);
    SendAndConfirm(std::string(1, kXoff));
    std::string sent;
    for (unsigned block = 0; block < 8; ++block) {
        // Whole buffers and single characters, as the transfers write them.
        const std::string text = block % 2 ? Pattern(kCapacity, block) : std::string(1, char('a' + block));
        std::chrono::milliseconds took;
        ASSERT_TRUE(TimedWrite(port, text, took)) << block << ": " << port.LastError();
        EXPECT_LT(took, kHostCallBound) << "Write waited for the line";
        sent += text;
    }
    SendAndConfirm("");  // the port has had every chance to send meanwhile
    EXPECT_EQ(pty.ReadAvailable(), "") << "nothing leaves while stopped";
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 0u);

    ASSERT_TRUE(pty.Write(std::string(1, kXon)));
    EXPECT_TRUE(pty.ReadExactly(sent.size()) == sent) << "bytes lost, reordered or changed";
    EXPECT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 8)) << "one TXEMPTY per block";
}

TEST_F(WriteQueue, ABlockPastTheBoundIsRefusedWholeAndNothingEarlierIsLost) {
    OpenMonitored(HandshakeXonXoff);
    SendAndConfirm(std::string(1, kXoff));
    std::string accepted;
    unsigned block = 0;
    for (;; ++block) {
        const std::string text = Pattern(kCapacity, block);
        if (accepted.size() + text.size() > port.WriteQueueLimit()) break;
        ASSERT_TRUE(port.WriteString(text.c_str())) << block;
        accepted += text;
    }
    EXPECT_GE(accepted.size() + kCapacity, size_t{64 * 1024}) << "the queue holds at least 64 KiB";

    const std::string refused = Pattern(kCapacity, 99);
    std::chrono::milliseconds took;
    EXPECT_FALSE(TimedWrite(port, refused, took));
    EXPECT_LT(took, kHostCallBound);
    EXPECT_EQ(port.LastError().rfind("WriteFile()", 0), 0u) << port.LastError();
    // What still fits is taken.
    const size_t room = port.WriteQueueLimit() - accepted.size();
    ASSERT_GT(room, 0u);
    const std::string last = Pattern(room, 7);
    EXPECT_TRUE(port.Write(last.data(), static_cast<uint32_t>(last.size())));
    accepted += last;

    ASSERT_TRUE(pty.Write(std::string(1, kXon)));
    const std::string received = pty.ReadExactly(accepted.size());
    EXPECT_TRUE(received == accepted) << "got " << received.size() << " of " << accepted.size();
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, block + 1));
    port.Close();
    EXPECT_EQ(pty.ReadAvailable(), "") << "nothing of the refused block went";
}

TEST_F(WriteQueue, AWriteOnAFullDeviceIsQueuedAndSentWhenTheOtherSideReads) {
    OpenMonitored(HandshakeNone);
    std::string sent;
    // The controller reads nothing: the pty fills and the rest waits in the
    // port's queue.
    for (unsigned block = 0; sent.size() + kCapacity <= port.WriteQueueLimit(); ++block) {
        const std::string text = Pattern(kCapacity, block);
        std::chrono::milliseconds took;
        ASSERT_TRUE(TimedWrite(port, text, took)) << block;
        EXPECT_LT(took, kHostCallBound);
        sent += text;
    }
    EXPECT_TRUE(pty.ReadExactly(sent.size()) == sent);
}

TEST_F(WriteQueue, NoHostCallWaitsForALineHeldByXoff) {
    OpenMonitored(HandshakeXonXoff);
    SendAndConfirm(std::string(1, kXoff));
    const auto fill = [&] {
        std::string queued;
        for (unsigned block = 0;; ++block) {
            const std::string text = Pattern(kCapacity, block);
            if (!port.WriteString(text.c_str())) return queued;
            queued += text;
        }
    };
    fill();
    EXPECT_LT(TimeHostCall("Purge", [&] { port.Purge(); }), kHostCallBound);
    fill();
    EXPECT_LT(TimeHostCall("Init", [&] {
                  port.Init(9600, 'o', 7, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
              }),
              kHostCallBound);
    const std::string owed = fill();
    EXPECT_LT(TimeHostCall("Close", [&] { port.Close(); }), kHostCallBound);
    EXPECT_FALSE(port.IsOpen());
    // Closing handed the queue on: it still goes once the controller is ready.
    ASSERT_TRUE(pty.Write(std::string(1, kXon)));
    EXPECT_TRUE(pty.ReadExactly(owed.size()) == owed);
}

TEST_F(WriteQueue, PurgeDropsTheQueuedBlocks) {
    OpenMonitored(HandshakeXonXoff);
    SendAndConfirm(std::string(1, kXoff));
    const std::string dropped = Pattern(kCapacity, 1);
    ASSERT_TRUE(port.WriteString(dropped.c_str()));
    ASSERT_TRUE(port.WriteString(dropped.c_str()));
    port.Purge();
    ASSERT_TRUE(port.WriteString("kept"));
    ASSERT_TRUE(pty.Write(std::string(1, kXon)));
    EXPECT_EQ(pty.ReadExactly(4), "kept");
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
    SendAndConfirm("");
    EXPECT_EQ(pty.ReadAvailable(), "");
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 1u) << "no TXEMPTY for purged blocks";
}

}  // namespace
}  // namespace quorlin
