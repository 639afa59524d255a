// Cancel always works: over a real port on a pseudo-terminal, with the
// controller holding the line with XOFF or leaving it dead, Cancel ends
// every kind of transfer at once with its log line, a receive's Cancel
// queues exactly one SUB, and closing the port afterwards does not wait for
// the line. Every call the host's thread makes is timed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "tests/transfer/EngineFixture.h"
#include "tests/transfer/FakeHost.h"
#include "tests/transfer/PtyEngineFixture.h"
#include "transfer/SerialTransferPort.h"
#include "transfer/TransferEngine.h"

namespace quorlin::test {
namespace {

using namespace std::chrono_literals;

// Cancel is promised within one second; the bound is generous for a loaded
// machine and sanitizers, the measured figure is printed.
constexpr auto kCancelBound = 3s;
// Open and close are promised within 50 ms.
constexpr auto kPortCallBound = 500ms;
// How long the controller holds the line before the person cancels.
constexpr auto kHeld = 300ms;

const std::string kDC1 = "\x11", kDC3 = "\x13", kSUB = "\x1A";

class CancelOverPty : public PtyEngineFixture {
protected:
    void TearDown() override {
        if (engine) CloseTimed();
        // Destroying the port waits, bounded, for the bytes the closed port
        // still owes the controller (the application does it on exit only).
        const auto start = std::chrono::steady_clock::now();
        engine.reset();
        const auto destroyTook = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start);
        std::printf("[ MEASURED ] %s: cancel %lld us, close %lld us, longest host call %lld us, "
                    "destroy %lld us\n",
                    ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                    static_cast<long long>(cancelTook.count()), static_cast<long long>(closeTook.count()),
                    static_cast<long long>(host.longestCall.count()), static_cast<long long>(destroyTook.count()));
    }
    template <typename Call>
    void Start(Call call) {
        host.Timed(call);
        ASSERT_TRUE(engine->IsTransferring());
    }
    void Cancel(bool receive, const std::string& logLine) {
        cancelTook = host.Timed([&] {
            if (receive)
                engine->OnReceiveDlgCancel();
            else
                engine->OnSendDlgCancel();
        });
        EXPECT_LT(cancelTook, kCancelBound);
        EXPECT_FALSE(engine->IsTransferring());
        EXPECT_TRUE(MaskTimestamps(WithoutSummaries(host.log)).ends_with(kTimestamp + logLine)) << host.log;
    }
    // A Block send of a long program under way, then held by the
    // controller's XOFF.
    void StartBlockSendHeldByXoff() {
        host.settings.sysType = 1;
        Start([&] { engine->SendFile(MakeFile("long.nc", std::string(200000, 'g'))); });
        ASSERT_TRUE(host.RunUntil(*engine, [&] { return host.progressPos >= 2000; }, 10s));
        ASSERT_TRUE(pty.Write(kDC3));
        host.RunFor(*engine, kHeld);
    }
    // Closing the port with bytes held up by the line leaves them to the
    // port's background drain; the host's thread goes on at once.
    void CloseTimed() {
        closeTook = host.Timed([&] { engine->ClosePort(); });
        EXPECT_LT(closeTook, kPortCallBound);
    }

    std::chrono::microseconds cancelTook{0};
    std::chrono::microseconds closeTook{0};
};

TEST_F(CancelOverPty, BlockSendHeldByXoff) {
    ASSERT_NO_FATAL_FAILURE(StartBlockSendHeldByXoff());
    Cancel(false, "File sending cancelled\r\n");
}

TEST_F(CancelOverPty, EchoSendHeldByXoff) {
    host.settings.sysType = 0;
    Start([&] { engine->SendFile(MakeFile("p.nc", "g1 x2\r\nm30\r\n")); });
    ASSERT_EQ(pty.ReadExactly(1), "G");
    ASSERT_TRUE(pty.Write(kDC3 + "k"));  // stops the PC, then answers
    host.RunFor(*engine, kHeld);
    Cancel(false, "File sending cancelled\r\n");
}

// The controller stops the PC with DC3 and then sends two more bytes: the
// first echo is held back, the second must be queued behind it.
TEST_F(CancelOverPty, EchoReceiveHeldByXoffQueuesOneSub) {
    host.settings.sysType = 0;
    const std::string path = (folder / "r.nc").string();
    Start([&] { engine->ReceiveFile(path); });
    ASSERT_TRUE(pty.Write(kDC3 + "N"));
    ASSERT_TRUE(host.RunUntil(*engine, [&] { return host.byteCount == 1; }, 10s));
    ASSERT_TRUE(pty.Write("1"));
    ASSERT_TRUE(host.RunUntil(*engine, [&] { return host.byteCount == 2; }, 10s));
    Cancel(true, "File receiving cancelled\r\n");
    EXPECT_EQ(pty.ReadAvailable(), "") << "nothing passes a held line";
    ASSERT_TRUE(pty.Write(kDC1));
    EXPECT_EQ(pty.ReadExactly(3), "N1" + kSUB) << "the echoes in order, then one SUB";
    EXPECT_EQ(pty.ReadExactly(1, 200ms), "") << "exactly one SUB";
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "N1");
}

TEST_F(CancelOverPty, BlockReceiveHeldByXoffQueuesOneSub) {
    host.settings.sysType = 1;
    Start([&] { engine->ReceiveFile((folder / "r.nc").string()); });
    ASSERT_TRUE(pty.Write(kDC3 + "N1G0\n"));
    ASSERT_TRUE(host.RunUntil(*engine, [&] { return host.byteCount == 6; }, 10s));
    Cancel(true, "File receiving cancelled\r\n");
    ASSERT_TRUE(pty.Write(kDC1));
    EXPECT_EQ(pty.ReadExactly(1), kSUB);
    EXPECT_EQ(pty.ReadExactly(1, 200ms), "") << "exactly one SUB";
}

// A download runs without flow control: a dead line is one that stops
// taking bytes; the controller has sent half of an answer packet.
TEST_F(CancelOverPty, BlockDownloadOnADeadLineWithHalfAnAnswer) {
    host.settings.sysType = 3;
    std::string image("%QZ", 3);
    image.append(19, '\0');
    image += std::string(3 * 32768, '\0');
    Start([&] { engine->DownloadFile(MakeFile("sys.bin", image), DownloadKind::SystemSoftware); });
    ASSERT_TRUE(pty.Write(std::string("ZZ\x10", 3)));
    host.RunFor(*engine, kHeld);  // the controller reads nothing meanwhile
    Cancel(false, "File sending cancelled\r\n");
}

// The next transfer's OpenPort opens the same device again: the port lets it
// wait for what the closed session still owes the controller, at most for
// the port's delivery bound, never for good.
TEST_F(CancelOverPty, NextOpenAfterAHeldCancelWaitsAtMostTheDeliveryBound) {
    ASSERT_NO_FATAL_FAILURE(StartBlockSendHeldByXoff());
    Cancel(false, "File sending cancelled\r\n");
    bool opened = false;
    const auto took = host.Timed([&] { opened = engine->OpenPort(); });
    std::printf("[ MEASURED ] OpenPort after a cancel under held XOFF: %lld us\n",
                static_cast<long long>(took.count()));
    EXPECT_TRUE(opened);
    EXPECT_LT(took, 6s);
}

}  // namespace
}  // namespace quorlin::test
