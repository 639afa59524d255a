// The message pump with quorlin-cli's wait: every message posted from
// another thread is taken, in order, whether the host was looking at the
// queue or parked in its wait; a post wakes the wait only when the host is
// parked, once however many come; consecutive "bytes arrived" messages of
// one port are kept as one.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "cli/HostWait.h"
#include "serial/SerialOwner.h"
#include "transfer/MessagePump.h"

using quorlin::MessagePump;
using quorlin::cli::HostWait;
using Clock = std::chrono::steady_clock;

namespace {

// One turn of the host's loop, as quorlin-cli runs it: look briefly, park,
// take what came. Returns the messages taken.
std::deque<MessagePump::Message> HostTurn(MessagePump& queue, HostWait& wait, int timeoutMs) {
    wait.Wait(queue.Park() ? timeoutMs : 0);
    queue.Unpark();
    return queue.TakeAll();
}

}  // namespace

TEST(MessagePump, PostWakesOnlyAParkedHost) {
    MessagePump queue;
    EXPECT_FALSE(queue.Post({1, 0, 0}));  // the host runs: it looks before it waits
    EXPECT_FALSE(queue.Park());    // a message waits: the host must not block
    EXPECT_EQ(queue.TakeAll().size(), 1u);
    ASSERT_TRUE(queue.Park());
    EXPECT_TRUE(queue.Post({2, 0, 0}));
    queue.Unpark();
    EXPECT_FALSE(queue.Post({3, 0, 0}));
    const auto taken = queue.TakeAll();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].message, 2u);
    EXPECT_EQ(taken[1].message, 3u);
    EXPECT_TRUE(queue.TakeAll().empty());
}

// Posts come both in quick answers (which the look catches) and after pauses
// (which find the host parked); none may be left waiting for a wake-up that
// never comes. A lost one shows as a turn that runs into its time limit.
TEST(MessagePump, NoPostIsLostBetweenLookingAndParking) {
    MessagePump queue;
    queue.SetPace(MessagePump::Pace::Answer);  // every post answers the host's "write"
    HostWait wait(&queue.Wake());
    constexpr unsigned kPosts = 20000;
    std::atomic<unsigned> answered{0};  // the host's "write": the poster answers it
    std::thread poster([&] {
        for (unsigned i = 1; i <= kPosts; ++i) {
            while (answered.load() + 1 < i) std::this_thread::yield();
            if (i % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a slow answer
            queue.Post({i, 0, 0});
        }
    });
    unsigned expected = 1;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (expected <= kPosts && Clock::now() < deadline) {
        const auto turnStart = Clock::now();
        for (const auto& message : HostTurn(queue, wait, 5000)) {
            ASSERT_EQ(message.message, expected) << "out of order";
            ++expected;
            answered.store(expected - 1);
        }
        ASSERT_LT(Clock::now() - turnStart, std::chrono::seconds(4)) << "a post was left unseen at " << expected;
    }
    poster.join();
    EXPECT_EQ(expected, kPosts + 1);
}

// The look is for the Echo exchange alone. Data that streams in unasked
// comes closer together than the look lasts: a host that looked there would
// never park and would burn a core for the whole receive.
TEST(MessagePump, LooksBeforeParkingOnlyWhileAnAnswerIsAwaited) {
    constexpr int kTurns = 20;
    // Turns that lasted a whole look. A message that comes after a look has
    // ended counts as slow, so a looking host looks every other turn here.
    const auto looks = [](bool answerAwaited) {
        MessagePump queue;
        queue.SetPace(answerAwaited ? MessagePump::Pace::Answer : MessagePump::Pace::Prompt);
        int looked = 0;
        for (int turn = 0; turn < kTurns; ++turn) {
            const auto start = Clock::now();
            EXPECT_TRUE(queue.Park());
            if (Clock::now() - start >= MessagePump::kLookLimit) ++looked;
            queue.Post({1, 0, 0});  // answered at once
            queue.Unpark();
            EXPECT_EQ(queue.TakeAll().size(), 1u);
        }
        return looked;
    };
    if (std::thread::hardware_concurrency() > 1) {
        EXPECT_GE(looks(true), kTurns / 4);
    }
    EXPECT_LE(looks(false), 2);  // a turn the machine's load stretched, at most
}

// A receive that streams in while the host is busy costs it one wake-up, and
// the port's "bytes arrived" messages in a row reach it as one, with the
// larger count, so that the engine reads the port once instead of finding it
// empty again; anything between them, or another port's, keeps them apart.
TEST(MessagePump, AStreamWakesTheParkedHostOnceAndItsByteMessagesMerge) {
    MessagePump pump;
    HostWait wait(&pump.Wake());
    ASSERT_TRUE(pump.Park());
    std::thread reader([&] {
        for (intptr_t waiting = 1; waiting <= 600; ++waiting) pump.Post({quorlin::WM_SERIAL_RXDATA, 1, waiting});
        pump.Post({quorlin::WM_SERIAL_RXDATA, 1, 3});  // the engine read meanwhile: fewer wait now
        pump.Post({quorlin::WM_SERIAL_TXEMPTY, 1, 0});
        pump.Post({quorlin::WM_SERIAL_RXDATA, 1, 2});
        pump.Post({quorlin::WM_SERIAL_RXDATA, 2, 5});
    });
    reader.join();
    EXPECT_EQ(wait.Wait(5000), HostWait::Woken::Message);
    pump.Unpark();
    EXPECT_EQ(wait.Wait(0), HostWait::Woken::TimedOut) << "woken more than once";
    const auto taken = pump.TakeAll();
    ASSERT_EQ(taken.size(), 4u);
    EXPECT_EQ(taken[0].message, quorlin::WM_SERIAL_RXDATA);
    EXPECT_EQ(taken[0].lParam, 600);
    EXPECT_EQ(taken[1].message, quorlin::WM_SERIAL_TXEMPTY);
    EXPECT_EQ(taken[2].lParam, 2);
    EXPECT_EQ(taken[3].wParam, 2u);
    EXPECT_EQ(taken[3].lParam, 5);
}

// A streaming receive: after a batch that brought something, what comes for
// the next few milliseconds wakes no one and is taken when the hold is up;
// the host's own posts while it handles a batch (the rest of a large
// backlog) are not held, and after a look that found nothing the next
// message wakes the host at once. Other paces never hold.
TEST(MessagePump, AStreamingHostTakesWhatGatheredWhenItsHoldIsUp) {
    MessagePump pump;
    HostWait wait(&pump.Wake());
    pump.SetPace(MessagePump::Pace::Stream);
    pump.Post({quorlin::WM_SERIAL_RXDATA, 1, 1});
    ASSERT_EQ(pump.TakeAll().size(), 1u);
    pump.Handled();
    const auto held = pump.HeldUntil();
    ASSERT_TRUE(held.has_value());
    EXPECT_LE(*held - Clock::now(), MessagePump::kStreamHold);

    ASSERT_TRUE(pump.Park());
    // A machine that stalls this thread past the hold lets the post wake it.
    const bool woke = pump.Post({quorlin::WM_SERIAL_RXDATA, 1, 2});
    if (woke) {
        EXPECT_GE(Clock::now(), *held) << "woken during the hold";
    }
    const auto untilHeld = std::chrono::ceil<std::chrono::milliseconds>(*held - Clock::now()).count();
    EXPECT_EQ(wait.Wait(static_cast<int>(std::max<int64_t>(untilHeld, 0))),
              woke ? HostWait::Woken::Message : HostWait::Woken::TimedOut);
    pump.Unpark();
    EXPECT_FALSE(pump.HeldUntil().has_value());
    ASSERT_EQ(pump.TakeAll().size(), 1u);

    ASSERT_TRUE(pump.Park());  // as the desktop program parks before it handles a batch
    EXPECT_TRUE(pump.Post({quorlin::WM_SERIAL_RXDATA, 1, 600}));
    EXPECT_EQ(wait.Wait(0), HostWait::Woken::Message);
    pump.Unpark();
    ASSERT_EQ(pump.TakeAll().size(), 1u);
    pump.Handled();
    ASSERT_TRUE(pump.HeldUntil().has_value());

    pump.Unpark();
    EXPECT_TRUE(pump.TakeAll().empty());
    pump.Handled();
    EXPECT_FALSE(pump.HeldUntil().has_value());
    ASSERT_TRUE(pump.Park());
    EXPECT_TRUE(pump.Post({quorlin::WM_SERIAL_RXDATA, 1, 1}));

    pump.Unpark();
    pump.SetPace(MessagePump::Pace::Prompt);
    ASSERT_EQ(pump.TakeAll().size(), 1u);
    pump.Handled();
    EXPECT_FALSE(pump.HeldUntil().has_value());
}
