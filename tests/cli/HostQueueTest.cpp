// The host's queue with its wait: every message posted from another thread
// is taken, in order, whether the host was looking at the queue or parked in
// its wait, and a post wakes the wait only when the host is parked.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "cli/HostQueue.h"
#include "cli/HostWait.h"

using quorlin::cli::HostQueue;
using quorlin::cli::HostWait;
using Clock = std::chrono::steady_clock;

namespace {

// One turn of the host's loop, as quorlin-cli runs it: look briefly, park,
// take what came. Returns the messages taken.
std::deque<HostQueue::Message> HostTurn(HostQueue& queue, HostWait& wait, int timeoutMs) {
    wait.Wait(queue.ReadyToPark() ? timeoutMs : 0);
    queue.EndPark();
    return queue.TakeAll();
}

}  // namespace

TEST(HostQueue, PostWakesOnlyAParkedHost) {
    HostQueue queue;
    EXPECT_FALSE(queue.Post({1, 0, 0}));  // the host runs: it looks before it waits
    EXPECT_FALSE(queue.ReadyToPark());    // a message waits: the host must not block
    EXPECT_EQ(queue.TakeAll().size(), 1u);
    ASSERT_TRUE(queue.ReadyToPark());
    EXPECT_TRUE(queue.Post({2, 0, 0}));
    queue.EndPark();
    EXPECT_FALSE(queue.Post({3, 0, 0}));
    const auto taken = queue.TakeAll();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(std::get<0>(taken[0]), 2u);
    EXPECT_EQ(std::get<0>(taken[1]), 3u);
    EXPECT_TRUE(queue.TakeAll().empty());
}

// Posts come both in quick answers (which the look catches) and after pauses
// (which find the host parked); none may be left waiting for a wake-up that
// never comes. A lost one shows as a turn that runs into its time limit.
TEST(HostQueue, NoPostIsLostBetweenLookingAndParking) {
    HostQueue queue;
    queue.AwaitAnswer(true);  // every post answers the host's "write"
    HostWait wait;
    constexpr unsigned kPosts = 20000;
    std::atomic<unsigned> answered{0};  // the host's "write": the poster answers it
    std::thread poster([&] {
        for (unsigned i = 1; i <= kPosts; ++i) {
            while (answered.load() + 1 < i) std::this_thread::yield();
            if (i % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a slow answer
            if (queue.Post({i, 0, 0})) wait.Wake();
        }
    });
    unsigned expected = 1;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (expected <= kPosts && Clock::now() < deadline) {
        const auto turnStart = Clock::now();
        for (const auto& message : HostTurn(queue, wait, 5000)) {
            ASSERT_EQ(std::get<0>(message), expected) << "out of order";
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
TEST(HostQueue, LooksBeforeParkingOnlyWhileAnAnswerIsAwaited) {
    constexpr int kTurns = 20;
    // Turns that lasted a whole look. A message that comes after a look has
    // ended counts as slow, so a looking host looks every other turn here.
    const auto looks = [](bool answerAwaited) {
        HostQueue queue;
        queue.AwaitAnswer(answerAwaited);
        int looked = 0;
        for (int turn = 0; turn < kTurns; ++turn) {
            const auto start = Clock::now();
            EXPECT_TRUE(queue.ReadyToPark());
            if (Clock::now() - start >= HostQueue::kLookLimit) ++looked;
            queue.Post({1, 0, 0});  // answered at once
            queue.EndPark();
            EXPECT_EQ(queue.TakeAll().size(), 1u);
        }
        return looked;
    };
    if (std::thread::hardware_concurrency() > 1) {
        EXPECT_GE(looks(true), kTurns / 4);
    }
    EXPECT_LE(looks(false), 2);  // a turn the machine's load stretched, at most
}
