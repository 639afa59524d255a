// The engine on the real port over a pseudo-terminal, the controller played
// on the other end: the message-driven steps with the port's own threads.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <string>

#include "tests/transfer/FakeHost.h"
#include "tests/transfer/PtyEngineFixture.h"
#include "convert/UpdateFile.h"
#include "transfer/DownloadPacket.h"
#include "transfer/SerialTransferPort.h"
#include "transfer/TransferEngine.h"

namespace quorlin::test {
namespace {

class OverPty : public PtyEngineFixture {
protected:
    void TearDown() override {
        engine.reset();
        std::printf("[ MEASURED ] %s: longest message handling %lld us\n",
                    ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                    static_cast<long long>(host.longestCall.count()));
    }
};

TEST_F(OverPty, BlockSendGoesOutPieceByPieceOnEmptyQueues) {
    host.settings.sysType = 2;
    std::string file, expected;
    for (int i = 0; i < 300; ++i) {
        file += "n" + std::to_string(i) + " g1 x" + std::to_string(i) + "\r\n";
        expected += "N" + std::to_string(i) + "G1X" + std::to_string(i) + "\n";
    }
    engine->SendFile(MakeFile("p.nc", file));
    auto controller = std::async(std::launch::async, [&] { return pty.ReadExactly(expected.size() + 2); });
    ASSERT_TRUE(host.RunUntilEnded(*engine));
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);
    EXPECT_EQ(controller.get(), expected + "\n\x1A");
}

TEST_F(OverPty, EchoSendWaitsForEveryAnswer) {
    host.settings.sysType = 0;
    engine->SendFile(MakeFile("p.nc", "g1 x2\r\nm30\r\n"));
    auto controller = std::async(std::launch::async, [this] {
        std::string got;
        while (got.empty() || got.back() != '\x1A') {
            const std::string byte = pty.ReadExactly(1);
            if (byte.empty()) break;
            got += byte;
            pty.Write("k");
        }
        return got;
    });
    ASSERT_TRUE(host.RunUntilEnded(*engine));
    EXPECT_EQ(controller.get(), "G1X2\nM30\n\x1A");
}

TEST_F(OverPty, BlockDownloadIsAnsweredAndGetsVerdictOne) {
    host.settings.sysType = 3;
    std::string payload(40000, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + 3);
    const uint32_t sum = AddBytes(0, reinterpret_cast<const uint8_t*>(payload.data()), payload.size());
    std::string header("%QZ", 3);
    header.append(19, '\0');
    for (int i = 0; i < 4; ++i) header[14 + i] = static_cast<char>(sum >> (8 * i));
    engine->DownloadFile(MakeFile("sys.bin", header + payload), DownloadKind::SystemSoftware);
    auto controller = std::async(std::launch::async, [this] {
        std::string verdict;
        const std::string block0 = pty.ReadExactly(10 + 32768);
        pty.Write(std::string("ZZ\x10\0\0\0\0\0\0\0", 10));
        const std::string block1 = pty.ReadExactly(10 + 32768);
        pty.Write(std::string("ZZ\x11\0\0\0\0\0\0\0", 10));
        verdict = pty.ReadExactly(10);
        return block0.size() + block1.size() == 2 * (10 + 32768) ? verdict : std::string("short");
    });
    ASSERT_TRUE(host.RunUntilEnded(*engine));
    EXPECT_EQ(controller.get(), std::string("ZZ\x11\x01\0\0\0\0\0\0", 10));
    EXPECT_EQ(engine->LastEndResult(), EndResult::SendFileCompleted);
}

TEST_F(OverPty, ReceiveStoresTheProgramWithCrLf) {
    host.settings.sysType = 1;
    const std::string path = (folder / "r.nc").string();
    engine->ReceiveFile(path);
    ASSERT_TRUE(pty.Write(std::string(3000, 'x') + "\nN1G0\n%\x1A"));
    ASSERT_TRUE(host.RunUntilEnded(*engine));
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(3000, 'x') + "\r\nN1G0\r\n%");
}

TEST_F(OverPty, VanishedControllerEndsTheTransferWithAMessage) {
    host.settings.sysType = 1;
    engine->ReceiveFile((folder / "r.nc").string());
    ASSERT_TRUE(pty.Write("N1\n"));
    pty.CloseMaster();
    ASSERT_TRUE(host.RunUntilEnded(*engine));
    EXPECT_EQ(engine->LastEndResult(), EndResult::PortLost);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "Error");
}

}  // namespace
}  // namespace quorlin::test
