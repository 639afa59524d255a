// The controller's side of the line vanishing in the middle of every kind of
// transfer: the tool must end the transfer with a message (exit status 1),
// never wait forever. The outcome is asserted, not the time; the deadline is
// only there to fail instead of hanging.

#include <csignal>
#include <tuple>

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

using Case = std::tuple<int, const char*>;  // family, "close" or "hangup"

class Vanish : public TransferFixture, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        StartSim(std::get<0>(GetParam()), {"--pace", "--line", kCancelLine});
    }
    std::string VanishAt(int bytes) const {
        return std::string("vanish ") + std::get<1>(GetParam()) + " at " + std::to_string(bytes);
    }
    void ExpectEndedWithAMessage() {
        SimReports("vanished");
        EXPECT_EQ(WaitCli(), 1) << CliOutput();
        EXPECT_FALSE(cli_->Err().empty()) << CliOutput();
    }
};

TEST_P(Vanish, SendEndsWithAMessage) {
    Sim(VanishAt(300), "armed vanish");
    StartCli({"send", Write("long.nc", LongProgram(10000))});
    if (std::get<0>(GetParam()) == 4) {
        ASSERT_TRUE(CliPrinted("Begin to send file")) << CliOutput();
        Sim("await pc-handshake none", "pc-handshake none");
        Sim("take", "taking program");
    }
    ExpectEndedWithAMessage();
}

TEST_P(Vanish, ReceiveEndsWithAMessage) {
    StartCli({"receive", folder_ + "/received.nc"});
    WaitUntilReceiving();
    Sim(VanishAt(300), "armed vanish");
    Sim("send " + Write("long.nc", LongProgram(10000)), "sending program");
    ExpectEndedWithAMessage();
}

TEST_P(Vanish, DownloadEndsWithAMessage) {
    const int family = std::get<0>(GetParam());
    const int kind = family == 2 ? 2 : family <= 1 ? 1 : 3;
    const Bytes image = kind >= 3 ? UpdateFile(Pattern(200000, 3)) : Pattern(200000, 3);
    Sim(kind >= 3 ? "expect download blocks answer 11" : "expect download stream", "expecting download");
    Sim(VanishAt(2000), "armed vanish");
    StartCli({"download", "--kind", std::to_string(kind), Write("image.bin", image)});
    ExpectEndedWithAMessage();
}

INSTANTIATE_TEST_SUITE_P(EachProtocolAndWay, Vanish,
                         ::testing::Combine(::testing::Values(0, 1, 2, 4), ::testing::Values("close", "hangup")),
                         [](const auto& info) {
                             return "family" + std::to_string(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param);
                         });

// A block download whose controller vanishes while the PC waits for its
// answer: nothing is on the way, only the loss itself can end it.
class VanishAwaitingAnswer : public TransferFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(VanishAwaitingAnswer, BlockDownloadEndsWithAMessage) {
    StartSim(1);
    Sim("expect download blocks answer 11", "expecting download");
    Sim("stall at 32778", "armed stall");  // the header and one whole block
    StartCli({"download", "--kind", "3", Write("image.bin", UpdateFile(Pattern(100000, 9)))});
    SimReports("stalled at 32778 bytes");
    Sim(std::string("vanish ") + GetParam(), "vanished");
    EXPECT_EQ(WaitCli(), 1) << CliOutput();
    EXPECT_FALSE(cli_->Err().empty()) << CliOutput();
}

INSTANTIATE_TEST_SUITE_P(EachWay, VanishAwaitingAnswer, ::testing::Values("close", "hangup"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace quorlin::e2e
