#pragma once
// The messages the port's threads post to quorlin-cli's host thread.
//
// Waking a thread that sleeps in the kernel costs more on many machines than
// a whole character's round trip over a pty: an Echo send, which waits for
// each character's echo before it sends the next, would spend most of its
// time there. So the host thread, when recent messages came that quickly,
// first looks at the queue for a short while without giving up its CPU, and
// only then parks in HostWait. A poster wakes it through HostWait only when
// it is parked. On a real line the answers are slower than the look lasts;
// the host then stops looking and parks at once.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
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

    // The rest is for the host thread only.
    bool HasMessages() const { return m_pending.load(); }
    std::deque<Message> TakeAll();

    // Looks at the queue until a message is there or the look limit passed,
    // when the last message came within that limit of the wait before it.
    // True when a message is there.
    bool LookBriefly();

    // Brackets the host's blocking wait. BeginPark is false when a message
    // came meanwhile: the host must not block then. After EndPark, posters no
    // longer wake the host.
    bool BeginPark();
    void EndPark() { m_parked.store(false); }

    // Tells when the host began to wait, and when a message ended that wait,
    // so that the next wait knows whether looking is worth it. A wait that
    // found a message already there (the host's own post, say) tells nothing
    // about how fast the line answers.
    void WaitBegins();
    void MessageTaken();

private:
    std::mutex m_mutex;  // guards m_queue
    std::deque<Message> m_queue;
    // Sequentially consistent, both: a poster sets m_pending and then reads
    // m_parked; the host sets m_parked and then reads m_pending. At least one
    // of them sees the other's store, so a post is never left unseen.
    std::atomic<bool> m_pending{false};
    std::atomic<bool> m_parked{false};

    const bool m_mayLook;  // false on a single CPU: looking would only hold up the poster
    bool m_lastCameFast = false;
    bool m_waitBeganEmpty = false;
    Clock::time_point m_waitBegan = Clock::now();
};

}  // namespace quorlin::cli
