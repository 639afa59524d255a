// Ctrl+C in every kind of transfer ends it as cancelled: exit status 130 and
// the cancel line in the log. The simulator is paced at the line rate, so
// the transfers are still running when the signal comes.

#include <csignal>

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

class Cancel : public TransferFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        StartSim(GetParam(), {"--pace", "--line", kCancelLine});
    }
};

TEST_P(Cancel, SendEndsCancelled) {
    Sim("mark at 300", "armed mark");
    StartCli({"send", Write("long.nc", LongProgram(10000))});
    if (GetParam() == 4) {
        ASSERT_TRUE(CliPrinted("Begin to send file")) << CliOutput();
        Sim("await pc-handshake none", "pc-handshake none");
        Sim("take", "taking program");
    }
    SimReports("reached 300 bytes");
    cli_->Signal(SIGINT);
    EXPECT_EQ(WaitCli(), 130) << CliOutput();
    EXPECT_NE(cli_->Out().find("   File sending cancelled\r\n"), std::string::npos) << CliOutput();
}

TEST_P(Cancel, ReceiveEndsCancelledWithOneSubToTheController) {
    const std::string program = Write("long.nc", LongProgram(10000));
    const std::string target = folder_ + "/received.nc";
    StartCli({"receive", target});
    WaitUntilReceiving();
    Sim("mark at 300", "armed mark");
    Sim("send " + program, "sending program");
    SimReports("reached 300 bytes");
    cli_->Signal(SIGINT);
    SimReports("send cancelled by pc");
    EXPECT_EQ(WaitCli(), 130) << CliOutput();
    EXPECT_NE(cli_->Out().find("   File receiving cancelled\r\n"), std::string::npos) << CliOutput();
    EXPECT_NE(Sim("status", "status").find(" pc-subs 1 "), std::string::npos) << sim_->Out();
    // What was stored before the cancel stays on disk.
    const Bytes kept = Read(target);
    EXPECT_GT(kept.size(), 0u);
    EXPECT_EQ(kept.substr(0, 12), "N1G01X1Y7\r\nN");
}

TEST_P(Cancel, DownloadEndsCancelled) {
    const int kind = GetParam() == 2 ? 2 : GetParam() <= 1 ? 1 : 3;
    const Bytes image = kind >= 3 ? UpdateFile(Pattern(200000, 3)) : Pattern(200000, 3);
    Sim(kind >= 3 ? "expect download blocks answer 11" : "expect download stream", "expecting download");
    Sim("mark at 2000", "armed mark");
    StartCli({"download", "--kind", std::to_string(kind), Write("image.bin", image)});
    SimReports("reached 2000 bytes");
    cli_->Signal(SIGINT);
    EXPECT_EQ(WaitCli(), 130) << CliOutput();
    EXPECT_NE(cli_->Out().find("   File sending cancelled\r\n"), std::string::npos) << CliOutput();
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, Cancel, ::testing::Values(0, 1, 2, 3, 4),
                         [](const auto& info) { return "family" + std::to_string(info.param); });

// A controller that stops answering: --idle-timeout gives up with status 3.
TEST_F(TransferFixture, SilentControllerEndsInIdleTimeOut) {
    StartSim(0);
    Sim("stall at 20", "armed stall");
    StartCli({"send", Write("long.nc", LongProgram(100)), "--idle-timeout", "1"});
    SimReports("stalled at 20 bytes");
    EXPECT_EQ(WaitCli(), 3) << CliOutput();
}

}  // namespace
}  // namespace quorlin::e2e
