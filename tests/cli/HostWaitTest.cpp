// The host's one wait: a message posted from another thread is never lost
// and wakes the wait at once, the deadline holds, and Ctrl+C ends the wait
// as a cancel, reported once.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <chrono>
#include <thread>

#include "cli/HostWait.h"

using quorlin::cli::HostWait;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// Far beyond what a wake-up takes; reached only when one is lost.
constexpr int kLostWakeMs = 5000;

// Sends this process what Ctrl+C sends it; false where that cannot be done.
bool PressCtrlC() {
#ifdef _WIN32
    // Only a process attached to a console gets console events.
    return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
#else
    return kill(getpid(), SIGINT) == 0;
#endif
}

}  // namespace

TEST(HostWait, WakeFromAnotherThreadEndsTheWaitAtOnce) {
    HostWait wait;
    const auto start = Clock::now();
    std::thread poster([&] {
        std::this_thread::sleep_for(milliseconds(50));  // let the wait begin first
        wait.Wake();
    });
    EXPECT_EQ(wait.Wait(kLostWakeMs), HostWait::Woken::Message);
    poster.join();
    EXPECT_LT(Clock::now() - start, milliseconds(kLostWakeMs / 2));
}

TEST(HostWait, WakesBeforeTheWaitAreKeptAndTakenTogether) {
    HostWait wait;
    wait.Wake();
    wait.Wake();
    EXPECT_EQ(wait.Wait(kLostWakeMs), HostWait::Woken::Message);
    // Both were taken: the host empties its whole queue on one wake-up.
    EXPECT_EQ(wait.Wait(0), HostWait::Woken::TimedOut);
    wait.Wake();
    EXPECT_EQ(wait.Wait(0), HostWait::Woken::Message);
}

TEST(HostWait, DeadlinePassesWhenNothingComes) {
    HostWait wait;
    const auto start = Clock::now();
    EXPECT_EQ(wait.Wait(100), HostWait::Woken::TimedOut);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, milliseconds(90));  // a timer may fire a little early
    EXPECT_LT(took, milliseconds(kLostWakeMs));
}

TEST(HostWait, CtrlCEndsTheWaitAsCancelReportedOnce) {
    HostWait wait;  // takes Ctrl+C over before it is pressed
    // A Windows program without a console (any program under Wine here)
    // cannot be sent Ctrl+C by itself; wine-transfer-test.sh's cancel case
    // sends it to quorlin-cli.exe from outside, as SIGINT.
    if (!PressCtrlC()) GTEST_SKIP() << "no console to send Ctrl+C to";
    EXPECT_EQ(wait.Wait(kLostWakeMs), HostWait::Woken::Cancel);
    EXPECT_EQ(wait.Wait(0), HostWait::Woken::TimedOut);
    wait.Wake();
    EXPECT_EQ(wait.Wait(kLostWakeMs), HostWait::Woken::Message);
}
