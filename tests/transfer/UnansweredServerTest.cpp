// A send to a port on a device server that never lets the PC in: it starts
// at once, Cancel ends it at once, and left alone it ends within the
// connect's time-out as a port that could not be opened, with the reason.

#include <gtest/gtest.h>

#include <errno.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/support/SerialTestSupport.h"
#include "tests/support/SilentServer.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/transfer/FakeHost.h"
#include "transfer/SerialTransferPort.h"
#include "transfer/TransferEngine.h"

namespace quorlin::test {
namespace {

constexpr unsigned kPort = 7;
// Each call of the host's thread is promised within 50 ms; a few times that
// allows for a loaded machine.
constexpr std::chrono::milliseconds kCallBound{250};

TEST(UnansweredServer, ASendStartsAtOnceAndEndsAsAPortThatWouldNotOpen) {
    SilentServer server;
    ASSERT_TRUE(server.IsValid());
    PortsFolder ports;
    ports.Link(kPort, "rfc2217://127.0.0.1:" + std::to_string(server.Port()));
    TemporaryFolder folder("quorlin-unanswered");
    const std::string program = folder / "p.nc";
    std::ofstream(program) << "%\nO1\nG0X1\nM30\n%\n";
    FakeHost host;
    host.settings.portList = {kPort, 0, 0, 0, 0};
    host.settings.commPort = 0;
    host.settings.sysType = 2;
    TransferEngine engine(host, std::make_unique<SerialTransferPort>());

    EXPECT_LT(host.Timed([&] { engine.SendFile(program); }), kCallBound);
    ASSERT_TRUE(engine.IsTransferring());
    EXPECT_LT(host.Timed([&] { engine.OnSendDlgCancel(); }), kCallBound);
    EXPECT_EQ(engine.LastEndResult(), EndResult::SendCancelled);
    EXPECT_NE(host.log.find("p.nc: 0 bytes sent (0 of 16 bytes of the file)"), std::string::npos) << host.log;
    host.log.clear();

    // Sent again while the first connect still tries: the block it was
    // given never reached the line, and nothing waits for it.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_LT(host.Timed([&] { engine.SendFile(program); }), kCallBound);
    ASSERT_TRUE(host.RunUntilEnded(engine, std::chrono::seconds(8)));
    std::printf("[ MEASURED ] ended %.0f ms after the send began; longest call %lld us\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count(),
                static_cast<long long>(host.longestCall.count()));
    EXPECT_LT(host.longestCall, kCallBound);
    EXPECT_EQ(engine.LastEndResult(), EndResult::PortLost);
    EXPECT_FALSE(host.progressOpen);
    EXPECT_NE(host.log.find("p.nc: 0 bytes sent (0 of 16 bytes of the file)"), std::string::npos) << host.log;
    ASSERT_EQ(host.portFailures.size(), 1u);
    EXPECT_EQ(host.portFailures[0].operation, "connect() to 127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(host.portFailures[0].systemError, ETIMEDOUT);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text.rfind("Can not open COM7 !", 0), 0u) << host.messages.back().text;
}

}  // namespace
}  // namespace quorlin::test
