// Bytes both ways through the reader and writer threads, and the messages the
// owner receives for them.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#ifndef _WIN32
#include <poll.h>
#endif

#include "tests/serial/SerialPortFixture.h"

namespace quorlin {
namespace {

using test::PostedMessage;
using Messages = std::vector<PostedMessage>;

using PortTransfer = SerialPortOnPty;

[[maybe_unused]] size_t IndexOf(const Messages& all, unsigned message, size_t from = 0) {
    for (size_t i = from; i < all.size(); ++i)
        if (all[i].message == message) return i;
    return all.size();
}

TEST_F(PortTransfer, BytesTravelBothWays) {
    OpenMonitored();
    port.WriteString("G01 X10\n");
    EXPECT_EQ(pty.ReadExactly(8), "G01 X10\n");
    ASSERT_TRUE(pty.Write("%\x1a"));
    EXPECT_EQ(ReadFromPort(2), "%\x1a");
}

TEST_F(PortTransfer, RxDataCarriesTheNotifyValueAndTheCountWaiting) {
    ASSERT_TRUE(port.Open(&owner, kPort, 77));
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(port.StartMonitoring());
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(owner.WaitFor([](const Messages& all) {
        return !all.empty() && all.back().message == WM_SERIAL_RXDATA && all.back().lParam == 3;
    }));
    for (const PostedMessage& m : owner.Messages()) EXPECT_EQ(m.wParam, 77u);
    char buffer[8];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 3u);
}

TEST_F(PortTransfer, TheCountIsEverythingWaitingNotJustTheNewBytes) {
    OpenMonitored();
    ASSERT_TRUE(pty.Write("ab"));
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_RXDATA, 1));
    ASSERT_TRUE(pty.Write("c"));
    ASSERT_TRUE(owner.WaitFor([](const Messages& all) {
        return !all.empty() && all.back().message == WM_SERIAL_RXDATA && all.back().lParam == 3;
    }));
    // The owner handles both messages: the first read takes everything, the
    // second finds nothing.
    char buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 3u);
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
}

TEST_F(PortTransfer, ReadTakesAtMostTheMaximumAndKeepsTheRest) {
    OpenMonitored();
    ASSERT_TRUE(pty.Write("0123456789"));
    ASSERT_TRUE(owner.WaitFor([](const Messages& all) {
        return !all.empty() && all.back().lParam == 10;
    }));
    char buffer[4];
    ASSERT_EQ(port.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(ReadAll(), "456789");
}

TEST_F(PortTransfer, TxEmptyFollowsEveryBlock) {
    OpenMonitored();
    std::string sent;
    for (unsigned block = 0; block < 5; ++block) {
        const std::string text = Pattern(511, block);
        port.WriteString(text.c_str());
        sent += text;
        ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, block + 1)) << block;
    }
    EXPECT_EQ(pty.ReadExactly(sent.size()), sent);
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 5u);
}

TEST_F(PortTransfer, AnEmptyBlockIsAlsoFollowedByTxEmpty) {
    OpenMonitored();
    port.WriteString("");
    EXPECT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
}

// Holds the reader inside its first Post until released, so that a block can
// leave and bytes arrive while it is away.
class GatedOwner : public test::RecordingOwner {
public:
    void Post(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        RecordingOwner::Post(message, wParam, lParam);
        std::unique_lock lock(m_mutex);
        if (m_used) return;
        m_used = m_held = true;
        m_changed.notify_all();
        m_changed.wait_for(lock, test::kWaitDeadline, [this] { return !m_held; });
    }
    bool WaitUntilHeld() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, test::kWaitDeadline, [this] { return m_held; });
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_held = false;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_used = false;
    bool m_held = false;
};

// The test must see "b" reach the port's device before it lets the reader
// go on: under Wine the pty's slave belongs to the port host, so the order
// within one wake-up is shown on POSIX only (the reader's code is the same).
#ifndef _WIN32
TEST_F(PortTransfer, TxEmptyIsPostedBeforeRxDataOfTheSameWakeUp) {
    GatedOwner gated;
    CloseBeforeOwnerGoes closeFirst{port};
    ASSERT_TRUE(port.Open(&gated, kPort, 0));
    // With XON/XOFF every block goes through the writer thread and its
    // TXEMPTY through the reader.
    port.Init(9600, 'n', 8, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(port.StartMonitoring());
    ASSERT_TRUE(pty.Write("a"));
    ASSERT_TRUE(gated.WaitUntilHeld());  // the reader sits in Post(RXDATA)

    port.WriteString("block");
    // Returns once "block" has been handed over, so its TXEMPTY is due.
    port.WriteString("");
    ASSERT_TRUE(pty.Write("b"));
    pollfd input{pty.SlaveFd(), POLLIN, 0};  // "b" has reached the port's device
    ASSERT_EQ(::poll(&input, 1, static_cast<int>(test::kWaitDeadline.count())), 1);
    gated.Release();

    ASSERT_TRUE(gated.WaitForCount(WM_SERIAL_RXDATA, 2));
    const Messages all = gated.Messages();
    ASSERT_EQ(all[0].message, WM_SERIAL_RXDATA);
    EXPECT_EQ(all[1].message, WM_SERIAL_TXEMPTY) << "the block's TXEMPTY comes first";
    EXPECT_LT(IndexOf(all, WM_SERIAL_TXEMPTY), IndexOf(all, WM_SERIAL_RXDATA, 1));
}
#endif

TEST_F(PortTransfer, TheTxEmptyOfABlockComesBeforeTheAnswerToIt) {
    for (uint8_t handshake : {HandshakeNone, HandshakeXonXoff}) {
        test::RecordingOwner fresh;
        CloseBeforeOwnerGoes closeFirst{port};
        ASSERT_NO_FATAL_FAILURE(OpenMonitoredFor(fresh, handshake));
        for (int round = 0; round < 20; ++round) {
            port.WriteString("q");
            ASSERT_EQ(pty.ReadExactly(1), "q");
            ASSERT_TRUE(pty.Write("q"));  // the controller's echo
            ASSERT_TRUE(fresh.WaitForCount(WM_SERIAL_RXDATA, round + 1));
            const Messages all = fresh.Messages();
            EXPECT_EQ(std::count_if(all.begin(), all.end(),
                                    [](const PostedMessage& m) { return m.message == WM_SERIAL_TXEMPTY; }),
                      round + 1)
                << "handshake " << int(handshake) << ", round " << round;
            char echo;
            ASSERT_EQ(port.Read(&echo, 1), 1u);
        }
    }
}

TEST_F(PortTransfer, WritesIssuedBackToBackAreNeitherLostReorderedNorChanged) {
    OpenMonitored();
    // As many as the write queue takes: far more than the pty holds.
    const unsigned blocks = static_cast<unsigned>(port.WriteQueueLimit() / kCapacity);
    ASSERT_GT(blocks, 10u);
    std::string sent;
    for (unsigned block = 0; block < blocks; ++block) sent += Pattern(kCapacity, block);
    std::string received;
    std::thread controller([&] { received = pty.ReadExactly(sent.size()); });
    for (unsigned block = 0; block < blocks; ++block)  // no wait for TXEMPTY
        ASSERT_TRUE(port.Write(sent.data() + block * kCapacity, kCapacity)) << block;
    controller.join();
    ASSERT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent)
        << "first difference at "
        << std::mismatch(sent.begin(), sent.end(), received.begin()).first - sent.begin();
    EXPECT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, blocks));
}

TEST_F(PortTransfer, ABlockLongerThanTheBufferIsSentWholeWithOneTxEmpty) {
    CSerialPort small(100);
    ASSERT_TRUE(small.Open(&owner, kPort, 0));
    small.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(small.StartMonitoring());
    const std::string text = Pattern(1050);
    small.Write(text.data(), static_cast<uint32_t>(text.size()));
    EXPECT_EQ(pty.ReadExactly(text.size()), text);
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
    small.WriteString("");  // waits until everything before it has left
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 2));
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 2u);
}

TEST_F(PortTransfer, InitWhileMonitoringDropsTheBytesReceivedBefore) {
    OpenMonitored();
    ASSERT_TRUE(pty.Write("stale"));
    ASSERT_TRUE(owner.WaitFor([](const Messages& all) {
        return !all.empty() && all.back().lParam == 5;
    }));
    port.Init(19200, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    char buffer[8];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
    ASSERT_TRUE(pty.Write("new"));
    EXPECT_EQ(ReadFromPort(3), "new");
}

TEST_F(PortTransfer, AMaskWithoutRxCharPostsNoRxData) {
    OpenMonitored();
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_TXEMPTY);
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(Eventually([&] {
        CommStatus status;
        port.GetStatus(status);
        return status.inQueue == 3;
    }));
    // The bytes were taken in before this block leaves, so an RXDATA for them
    // would come before its TXEMPTY.
    port.WriteString("x");
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
    EXPECT_EQ(owner.Count(WM_SERIAL_RXDATA), 0u);
    EXPECT_EQ(ReadAll(), "abc") << "the bytes are still read";
}

TEST_F(PortTransfer, AMaskWithoutTxEmptyPostsNoTxEmpty) {
    OpenMonitored();
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR);
    port.WriteString("x");
    port.WriteString("");  // returns after "x" has left: its TXEMPTY is due
    EXPECT_EQ(pty.ReadExactly(1), "x");
    ASSERT_TRUE(pty.Write("y"));
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_RXDATA, 1));
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 0u);
    // The mask can be widened again.
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    port.WriteString("z");
    EXPECT_TRUE(owner.WaitForCount(WM_SERIAL_TXEMPTY, 1));
}

TEST_F(PortTransfer, ControlCharactersReachReadWithoutXonXoff) {
    for (uint8_t handshake : {HandshakeNone, HandshakeCtsRts}) {
        test::RecordingOwner fresh;
        CloseBeforeOwnerGoes closeFirst{port};
        ASSERT_NO_FATAL_FAILURE(OpenMonitoredFor(fresh, handshake));
        ASSERT_TRUE(pty.Write("\x11" "a\x13" "b"));
        std::string got;
        ASSERT_TRUE(fresh.WaitFor([&](const Messages& all) {
            return !all.empty() && all.back().lParam == 4;
        })) << int(handshake);
        char buffer[8];
        got.assign(buffer, port.Read(buffer, sizeof buffer));
        EXPECT_EQ(got, "\x11" "a\x13" "b") << int(handshake);
        port.WriteString("\x11\x13");
        EXPECT_EQ(pty.ReadExactly(2), "\x11\x13");
        port.Close();
    }
}

TEST_F(PortTransfer, PurgeDropsWhatWasReceived) {
    OpenMonitored();
    ASSERT_TRUE(pty.Write("junk"));
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_RXDATA, 1));
    port.Purge();
    char buffer[8];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
    CommStatus status;
    port.GetStatus(status);
    EXPECT_EQ(status.inQueue, 0u);
}

}  // namespace
}  // namespace quorlin
