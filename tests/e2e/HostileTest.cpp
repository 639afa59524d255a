// quorlin-cli run as people run it, in surroundings that do not cooperate:
// a file-size limit (how a full disk is tried), a reader of the log that
// goes away (| head) or stops reading (a pager waiting for a key). None of
// them may end the tool by a signal or hold the transfer up.

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

#include "tests/e2e/TransferFixture.h"

namespace quorlin::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class Hostile : public TransferFixture {
protected:
    // A program far larger than a pipe holds (64 KiB) and than the limit below.
    void SetUp() override {
        TransferFixture::SetUp();
        StartSim(1);
        program_ = LongProgram(12000);
        ASSERT_GT(program_.size(), 150000u);
        programPath_ = Write("long.nc", program_);
    }
    Bytes WithCrLf() const {
        Bytes out;
        for (const char c : program_) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    }
    Bytes program_;
    std::string programPath_;
};

// ulimit -f: the write that passes the limit fails as on a full disk; the
// tool says so, ends the receive and tells the controller with SUB. (The
// limit's signal keeps its default here, as in a user's shell.)
TEST_F(Hostile, AFileSizeLimitEndsAReceiveAsAFullDisk) {
    cliWrapper_ = {"/bin/sh", "-c", "ulimit -f 16; exec \"$0\" \"$@\""};  // 16 blocks: 8 or 16 KiB
    StartCli({"receive", folder_ + "/received.nc"});
    WaitUntilReceiving();
    Sim("send " + programPath_, "sending program");
    EXPECT_EQ(WaitCli(), 1) << CliOutput();
    EXPECT_NE(cli_->Out().find("File receiving stopped: the file could not be written\r\n"), std::string::npos)
        << CliOutput();
    EXPECT_NE(cli_->Err().find("Error: "), std::string::npos) << CliOutput();
    SimReports("send cancelled by pc");
    EXPECT_NE(Sim("status", "status").find(" pc-subs 1 "), std::string::npos) << sim_->Out();
}

// | head: the reader takes two lines and goes; the receive goes on to its end
// and the tool ends by itself, not by SIGPIPE.
TEST_F(Hostile, AReaderThatGoesAwayLeavesTheReceiveGoingOn) {
    cliWrapper_ = {"/bin/sh", "-c", "{ \"$0\" \"$@\"; echo \"cli-status $?\" >&2; } | head -n 2"};
    const std::string target = folder_ + "/received.nc";
    StartCli({"receive", target});
    WaitUntilReceiving();  // head passed the first two lines on, then ended
    Sim("send " + programPath_, "sending program");
    EXPECT_EQ(WaitCli(), 0) << CliOutput();
    EXPECT_NE(cli_->Err().find("cli-status 0\n"), std::string::npos) << CliOutput();
    EXPECT_EQ(Read(target), WithCrLf());
}

// A pager waiting for a key: it read the first screen and reads no more. The
// receive still runs to its end, and SIGTERM then ends the tool at once.
TEST_F(Hostile, ALogNobodyReadsHoldsNothingUp) {
    const std::string fifo = folder_ + "/pager";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int pager = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(pager, 0);
    cliWrapper_ = {"/bin/sh", "-c", "exec \"$0\" \"$@\" > '" + fifo + "'"};
    const std::string target = folder_ + "/received.nc";
    StartCli({"receive", target, "--idle-timeout", "30"});
    // The pager shows its first screen: it reads until the receive has begun.
    std::string screen;
    const Deadline deadline = After();
    while (screen.find("Begin to receive file\r\n") == std::string::npos && Clock::now() < deadline) {
        pollfd readable{pager, POLLIN, 0};
        ::poll(&readable, 1, 100);
        char buffer[512];
        const ssize_t got = ::read(pager, buffer, sizeof buffer);
        if (got > 0) screen.append(buffer, static_cast<size_t>(got));
    }
    ASSERT_NE(screen.find("Begin to receive file\r\n"), std::string::npos) << screen;
    // The receive ends by closing its file.
    const int closes = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(closes, 0);
    ASSERT_GE(::inotify_add_watch(closes, folder_.c_str(), IN_CLOSE_WRITE), 0);
    const auto sending = Clock::now();
    Sim("send " + programPath_, "sending program");
    const Bytes whole = WithCrLf();
    while (Read(target) != whole && Clock::now() < deadline) {
        pollfd closed{closes, POLLIN, 0};
        ::poll(&closed, 1, 1000);
        char events[4096];
        while (::read(closes, events, sizeof events) > 0) {
        }
    }
    ::close(closes);
    EXPECT_EQ(Read(target).size(), whole.size()) << "the receive stopped early";
    EXPECT_EQ(Read(target), whole);
    std::printf("[ MEASURED ] %zu bytes received with the log unread in %lld ms\n", whole.size(),
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sending).count()));
    EXPECT_FALSE(cli_->Exited()) << "the log has not been read yet";
    const auto start = Clock::now();
    cli_->Signal(SIGTERM);
    EXPECT_TRUE(session_.WaitForExit(*cli_, After(5s)));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf("[ MEASURED ] SIGTERM ended the tool waiting on its reader after %lld ms\n",
                static_cast<long long>(took.count()));
    EXPECT_LT(took, 3s);
    ::close(pager);
}

// Ctrl+C cancels a receive, and the tool then waits (bounded, some 3 s) for
// the controller that holds the line with XOFF to take the SUB it is owed;
// a second Ctrl+C ends that wait at once.
TEST_F(TransferFixture, ASecondCtrlCDoesNotWaitForTheOwedSub) {
    StartSim(1, {"--pace", "--line", kCancelLine});
    const std::string program = Write("long.nc", LongProgram(10000));
    StartCli({"receive", folder_ + "/received.nc"});
    WaitUntilReceiving();
    Sim("dc3 at 300", "armed dc3");
    Sim("send " + program, "sending program");
    SimReports("sent DC3");
    cli_->Signal(SIGINT);
    ASSERT_TRUE(CliPrinted("   File receiving cancelled\r\n")) << CliOutput();
    const auto start = Clock::now();
    cli_->Signal(SIGINT);
    EXPECT_EQ(WaitCli(), 130) << CliOutput();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf("[ MEASURED ] second Ctrl+C ended the tool after %lld ms\n", static_cast<long long>(took.count()));
    EXPECT_LT(took, 1500ms);
}

}  // namespace
}  // namespace quorlin::e2e
