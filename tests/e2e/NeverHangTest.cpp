// quorlin-cli never hangs: Ctrl+C ends every kind of transfer at once with
// its log line, whatever the controller does (holds the line with XOFF,
// stops answering after half an answer, floods the line); --idle-timeout
// ends a transfer the controller stopped, but not a healthy slow one; a
// FILE that would be waited on is refused before the port is touched.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Cancel is promised within one second; the bounds are generous for a
// loaded machine and sanitizers, the measured figures are printed.
constexpr auto kCancelBound = 3s;
// A cancelled receive owes the controller its SUB: while the controller
// holds the line the tool waits for it, bounded by the port (about 3 s past
// the line time).
constexpr auto kExitWithHeldBytesBound = 10s;

long long Millis(Clock::duration span) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(span).count();
}

class NeverHang : public TransferFixture {
protected:
    // Ctrl+C: the time until the log's cancel line and until the tool ended.
    struct Ended {
        Clock::duration toLogLine{};
        Clock::duration toExit{};
        int status = -1;
    };
    // The scene goes on for a while (the output of both tools is read).
    void LetTimePass(Clock::duration span) {
        session_.WaitUntil([] { return false; }, Clock::now() + span);
    }
    Ended Interrupt(const std::string& cancelLine) {
        Ended ended;
        const auto start = Clock::now();
        cli_->Signal(SIGINT);
        EXPECT_TRUE(CliPrinted(cancelLine)) << CliOutput();
        ended.toLogLine = Clock::now() - start;
        ended.status = WaitCli();
        ended.toExit = Clock::now() - start;
        std::printf("[ MEASURED ] %s: log line %lld ms, exit %lld ms\n",
                    ::testing::UnitTest::GetInstance()->current_test_info()->name(), Millis(ended.toLogLine),
                    Millis(ended.toExit));
        EXPECT_EQ(ended.status, 130) << CliOutput();
        EXPECT_LT(ended.toLogLine, kCancelBound);
        return ended;
    }
};

// The controller holds the line this long before the person presses Ctrl+C:
// its DC3 has surely reached the PC's port by then.
constexpr auto kHeld = 300ms;

class HeldSend : public NeverHang, public ::testing::WithParamInterface<int> {};

// The controller sends DC3 and never DC1.
TEST_P(HeldSend, CtrlCEndsItAtOnce) {
    StartSim(GetParam(), {"--pace", "--line", kCancelLine});
    Sim("dc3 at 300", "armed dc3");
    StartCli({"send", Write("long.nc", LongProgram(10000))});
    SimReports("sent DC3");
    LetTimePass(kHeld);
    const Ended ended = Interrupt("   File sending cancelled\r\n");
    EXPECT_LT(ended.toExit, kCancelBound) << "a cancelled send owes the controller nothing";
}

INSTANTIATE_TEST_SUITE_P(EchoAndBlock, HeldSend, ::testing::Values(0, 1),
                         [](const auto& info) { return "family" + std::to_string(info.param); });

class HeldReceive : public NeverHang, public ::testing::WithParamInterface<int> {};

// The controller holds the line with XOFF while it sends; Cancel queues one
// SUB, which reaches the controller once it lets the line go.
TEST_P(HeldReceive, CtrlCEndsItAndOneSubFollowsTheRelease) {
    StartSim(GetParam(), {"--pace", "--line", kCancelLine});
    const std::string program = Write("long.nc", LongProgram(10000));
    StartCli({"receive", folder_ + "/received.nc"});
    WaitUntilReceiving();
    Sim("dc3 at 300 resume 1500", "armed dc3");
    Sim("send " + program, "sending program");
    SimReports("sent DC3");
    LetTimePass(kHeld);
    const Ended ended = Interrupt("   File receiving cancelled\r\n");
    EXPECT_LT(ended.toExit, kExitWithHeldBytesBound);
    SimReports("send cancelled by pc");
    EXPECT_NE(Sim("status", "status").find(" pc-subs 1 "), std::string::npos) << sim_->Out();
}

INSTANTIATE_TEST_SUITE_P(EchoAndBlock, HeldReceive, ::testing::Values(0, 1),
                         [](const auto& info) { return "family" + std::to_string(info.param); });

// A block download whose controller stops answering after half an answer
// packet, then floods the line with noise.
TEST_F(NeverHang, DownloadWithHalfAnAnswerAndAFloodEndsAtCtrlC) {
    StartSim(3);
    Sim("expect download blocks answer 10", "expecting download");
    Sim("stall at 32778", "armed stall");
    StartCli({"download", "--kind", "3", Write("image.bin", UpdateFile(Pattern(100000, 3)))});
    SimReports("stalled at 32778 bytes");
    Sim("noise 5A5A10", "noise sent");
    for (int i = 0; i < 8; ++i) Sim("noise random 65536", "noise sent");
    const Ended ended = Interrupt("   File sending cancelled\r\n");
    EXPECT_LT(ended.toExit, kCancelBound);
}

// The controller stops the PC with DC3 in the middle of an Echo receive and
// sends on: the echoes queue behind the held line, and --idle-timeout still
// ends the tool (it once waited for good inside a write).
TEST_F(NeverHang, IdleTimeOutEndsAnEchoReceiveHeldByXoff) {
    StartSim(0);
    const std::string program = Write("p.nc", LongProgram(200));
    StartCli({"receive", folder_ + "/received.nc", "--idle-timeout", "2"});
    WaitUntilReceiving();
    Sim("dc3 at 3", "armed dc3");
    const auto start = Clock::now();
    Sim("send " + program, "sending program");
    EXPECT_EQ(WaitCli(After(20s)), 3) << CliOutput();
    std::printf("[ MEASURED ] idle time-out of 2 s ended the tool after %lld ms\n", Millis(Clock::now() - start));
    EXPECT_NE(cli_->Out().find("   File receiving cancelled\r\n"), std::string::npos) << CliOutput();
}

// A block download at a slow line rate whose one block is nearly all zero
// padding: the padding moves no progress bar, yet the line is busy, so an
// --idle-timeout shorter than the block's line time must not cancel it.
// (A pty takes some 20 KB ahead of the paced controller and lets the PC
// write again only once most of it has gone: at 57600 baud the PC sees
// nothing move for about 4 s, while the padding takes over 6 s. The line
// time of what the pty took is activity: 2 s once ended this download.)
TEST_F(NeverHang, IdleTimeOutLeavesASlowHealthyDownloadAlone) {
    StartSim(3, {"--pace", "--line", "57600,o,8,1"});
    Sim("expect download blocks answer 10", "expecting download");
    StartCli({"download", "--kind", "3", "--idle-timeout", "2", Write("image.bin", UpdateFile(Pattern(100, 4)))});
    EXPECT_NE(SimReports("download block 1 ", After(30s)).find(" ok"), std::string::npos);
    EXPECT_EQ(WaitCli(After(30s)), 0) << CliOutput();
    EXPECT_NE(cli_->Out().find("   File sending completed\r\n"), std::string::npos) << CliOutput();
}

// A named pipe as FILE would block its opener until another program opened
// the other end; it is refused at once, and the port is never opened.
TEST_F(NeverHang, NamedPipeAsFileIsRefusedBeforeThePortIsTouched) {
    StartSim(1);
    const std::string fifo = folder_ + "/pipe.nc";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::vector<std::string>> commands = {
        {"send", fifo}, {"send", "--document", fifo}, {"receive", fifo}, {"download", "--kind", "1", fifo}};
    for (const auto& command : commands) {
        const auto start = Clock::now();
        EXPECT_EQ(RunCli(command), 1) << CliOutput();
        EXPECT_LT(Clock::now() - start, kCancelBound);
        EXPECT_NE(cli_->Err().find("pipe.nc is a named pipe, not a regular file"), std::string::npos) << CliOutput();
        EXPECT_TRUE(cli_->Out().empty()) << CliOutput();
    }
    EXPECT_NE(Sim("status", "status").find(" port-openers 0"), std::string::npos) << sim_->Out();
    EXPECT_EQ(sim_->Out().find("port opened"), std::string::npos) << sim_->Out();
}

TEST_F(NeverHang, FolderAndDeviceAsFileAreRefused) {
    StartSim(1);
    EXPECT_EQ(RunCli({"send", folder_}), 1);
    EXPECT_NE(cli_->Err().find("is a folder, not a regular file"), std::string::npos) << CliOutput();
    EXPECT_EQ(RunCli({"receive", "/dev/null"}), 1);
    EXPECT_NE(cli_->Err().find("/dev/null is a device, not a regular file"), std::string::npos) << CliOutput();
    EXPECT_EQ(RunCli({"download", "--kind", "1", "/dev/zero"}), 1);
    EXPECT_NE(cli_->Err().find("/dev/zero is a device"), std::string::npos) << CliOutput();
}

// The printed log is everything the log view was given: a receive whose log
// passes the view's 64000 characters still prints the program from its
// first line.
TEST_F(NeverHang, LongLogIsPrintedWhole) {
    StartSim(1);
    const Bytes program = LongProgram(6000);
    ASSERT_GT(program.size(), 80000u);
    StartCli({"receive", folder_ + "/r.nc"});
    WaitUntilReceiving();
    Sim("send " + Write("long.nc", program), "sending program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    const std::string& out = cli_->Out();
    EXPECT_NE(out.find("   Begin to receive file\r\n" + program.substr(0, 40)), std::string::npos)
        << out.substr(0, 200);
    EXPECT_NE(out.find(program.substr(program.size() - 40) + "\x1A"), std::string::npos);
}

// A file another transfer holds: the engine's message, and why under it.
TEST_F(NeverHang, FileInUseIsExplained) {
    StartSim(1);
    const std::string program = Write("p.nc", "G1\n");
    const int holder = ::open(program.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(RunCli({"send", program}), 1);
    ::close(holder);
    EXPECT_NE(cli_->Err().find("Error: Can't open the file!\n"
                               "The file could not be opened: another transfer is using it.\n"),
              std::string::npos)
        << CliOutput();
}

// A port that cannot be opened: the message as the application shows it,
// and under it why, in plain words with the system's text.
TEST_F(NeverHang, PortThatCannotBeOpenedIsExplained) {
    const std::string program = Write("p.nc", "G1\n");
    EXPECT_EQ(RunCli({"send", program}), 1);  // no controller: nothing is COM1
    EXPECT_NE(cli_->Err().find("Error: Can not open COM1 !\nNo device is connected as this port ("),
              std::string::npos)
        << CliOutput();

    std::filesystem::create_symlink(program, folder_ + "/ports/COM1");  // a plain file
    EXPECT_EQ(RunCli({"receive", folder_ + "/r.nc"}), 1);
    EXPECT_NE(cli_->Err().find("Error: Can not open COM1 !\nThe device of this port is not a serial line ("),
              std::string::npos)
        << CliOutput();
    EXPECT_TRUE(cli_->Out().empty()) << "no transfer began: " << CliOutput();
}

}  // namespace
}  // namespace quorlin::e2e
