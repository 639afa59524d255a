#pragma once
// The messages the port's threads post to quorlin-cli's host thread.
//
// Waking a thread that sleeps in the kernel costs more on many machines than
// a whole character's round trip over a pty: an Echo send, which waits for
// each character's echo before it sends the next, would spend most of its
// time there. So the host thread, while it awaits the answer to a character
// it has just written (the Echo exchange) and recent answers came that
// quickly, first looks at the queue for a short while without giving up its
// CPU, and only then parks in HostWait. A poster wakes it through HostWait
// only when it is parked. On a real line the answers are slower than the
// look lasts; the host then stops looking and parks at once. Data that
// streams in unasked (a receive, a controller's answers to blocks) never
// makes it look: at 57,600 baud and above characters come closer together
// than the look lasts, and a host that looked for each would never park.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <tuple>

namespace quorlin::cli {

class HostQueue {
public:
    using Message = std::tuple<unsigned, uintptr_t, intptr_t>;
    using Clock = std::chrono::steady_clock;

    // How long the host looks before it parks, and the gap between messages
    // above which it does not look at all.
    static constexpr std::chrono::microseconds kLookLimit{200};

    HostQueue();

    // Any thread. True when the host is parked (or about to park) and must be
    // woken through HostWait.
    bool Post(const Message& message);

    // The rest is for the host thread only, in this order around its one
    // blocking wait:
    //   if (queue.ReadyToPark()) wait(...) else wait(0 /* a look for a cancel */);
    //   queue.EndPark();
    //   handle(queue.TakeAll());

    // Looks at the queue for up to kLookLimit when the message before came
    // within that time of the wait before it, then marks the host parked.
    // False when a message is there: the host must not block then.
    bool ReadyToPark();
    // Whether the host awaits the answer to a character it has just written;
    // only then does ReadyToPark look before it parks.
    void AwaitAnswer(bool awaited) { m_answerAwaited = awaited; }
    // After it, posters no longer wake the host.
    void EndPark() { m_parked.store(false); }
    // Takes every message, in the order posted, and notes how soon after the
    // wait began the first of them was seen.
    std::deque<Message> TakeAll();

private:
    std::mutex m_mutex;  // guards m_queue
    std::deque<Message> m_queue;
    // Sequentially consistent, both: a poster sets m_pending and then reads
    // m_parked; the host sets m_parked and then reads m_pending. At least one
    // of them sees the other's store, so a post is never left unseen.
    std::atomic<bool> m_pending{false};
    std::atomic<bool> m_parked{false};

    const bool m_mayLook;  // false on a single CPU: looking would only hold up the poster
    bool m_answerAwaited = false;
    bool m_lastCameFast = false;
    // When the last wait began with an empty queue; unset when it found a
    // message already there (the host's own post, say), which tells nothing
    // about how fast the line answers.
    std::optional<Clock::time_point> m_waitBegan;
};

}  // namespace quorlin::cli
