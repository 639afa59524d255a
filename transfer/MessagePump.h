#pragma once
// The queue that carries the port's messages (and the engine's own) to the
// thread that hosts a transfer engine, with the wake-up that tells that
// thread to take them. quorlin-cli waits on it beside its cancel keys; the
// desktop program watches its wake-up from the event loop; a process that
// runs several engines has one pump per engine.
//
// A poster wakes the host only when the host is parked, that is, when it has
// said it will wait for the next message (Park) and has not woken since
// (Unpark); only the first post after a Park wakes it. The host takes
// everything queued at once (TakeAll). So a receive that streams in costs
// one wake-up per batch, not one per message.
//
// Consecutive "bytes arrived" messages of one port are kept as one, with
// the larger count. The engine reads whatever the port holds when it handles
// such a message (at most one read's limit; it posts itself again for what
// the count says is left), so the one message reads the same bytes in the
// same order, and the second of two would only have found the port empty.
//
// How soon the host must see a message depends on the transfer (Pace):
//  - Answer: the host awaits the answer to a character it has just written
//    (the Echo exchange). Waking a thread that sleeps in the kernel costs
//    more on many machines than a whole character's round trip over a pty,
//    and an Echo send would spend most of its time there. So the host, when
//    recent answers came that quickly, first looks at the queue for a short
//    while without giving up its CPU, and only then parks. On a real line
//    the answers are slower than the look lasts; the host then stops
//    looking and parks at once.
//  - Stream: data streams in unasked and nothing on the line waits for the
//    host (a receive that never answers). At 115,200 baud a character comes
//    every 87 us, each its own read of the port; waking the host for each
//    would cost it a wake-up per character. So after the host has handled a
//    batch that brought something, the posts of the next kStreamHold wake it
//    no more: it takes them when that time is up (HeldUntil says when). The
//    first message after a pause still wakes it at once, and the engine's
//    own posts (the rest of a large backlog) are taken at once.
//  - Prompt: every message is taken as soon as it comes, without a look
//    (a controller's answers to blocks, whose timing the line's use feels).
// Only Answer looks: at 57,600 baud and above characters come closer
// together than the look lasts, and a host that looked for each would never
// park.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "transfer/PumpWake.h"

namespace quorlin {

class MessagePump {
public:
    struct Message {
        unsigned message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    using Clock = std::chrono::steady_clock;
    enum class Pace { Prompt, Answer, Stream };

    // How long the host looks before it parks, and the gap between messages
    // above which it does not look at all.
    static constexpr std::chrono::microseconds kLookLimit{200};
    // How long a streaming host lets messages gather before it takes them:
    // far below what a person notices (the log shows its changes every
    // 50 ms), far above a character's time at the usual rates.
    static constexpr std::chrono::milliseconds kStreamHold{4};

    MessagePump();
    MessagePump(const MessagePump&) = delete;
    MessagePump& operator=(const MessagePump&) = delete;

    // Any thread. Returns whether it woke the host.
    bool Post(const Message& message);

    // What the host waits on. Its wait takes the wake-up (or Clear does).
    PumpWake& Wake() { return m_wake; }

    // The rest is for the host thread only, around its one blocking wait:
    //   pump.SetPace(...);
    //   wait(pump.Park() ? min(limit, HeldUntil()) : 0 /* a look for a cancel */);
    //   pump.Unpark();
    //   handle(pump.TakeAll());
    //   pump.Handled();

    // Looks at the queue for up to kLookLimit when an answer is awaited and
    // the message before came within that time of the wait before it, then
    // marks the host parked. False when a message is there: the host must
    // not block then (no wake-up comes for it).
    bool Park();
    // After it, posters no longer wake the host, and a hold is over: what
    // the host posts itself while it handles a batch is taken at once.
    void Unpark() {
        m_parked.store(false);
        m_heldUntil.store(0);
    }
    void SetPace(Pace pace) { m_pace = pace; }
    // The host has handled what it took: a streaming host that took
    // something holds the posts' wake-ups for kStreamHold from now.
    void Handled();
    // Until when posts do not wake the host; it must look by then. Unset
    // when they wake it at once.
    std::optional<Clock::time_point> HeldUntil() const;
    // Takes every message, in the order posted, and notes how soon after the
    // wait began the first of them was seen.
    std::deque<Message> TakeAll();
    // Messages queued and not yet taken. Any thread.
    size_t Pending() const;

private:
    PumpWake m_wake;
    mutable std::mutex m_mutex;  // guards m_queue
    std::deque<Message> m_queue;
    // Sequentially consistent, both: a poster sets m_pending and then reads
    // m_parked; the host sets m_parked and then reads m_pending. At least one
    // of them sees the other's store, so a post is never left unseen.
    std::atomic<bool> m_pending{false};
    std::atomic<bool> m_parked{false};
    // Clock ticks until which posts wake no one, 0 for none: the host's, read
    // by a poster only after it saw the host parked. A poster that reads it
    // a moment late wakes the host once more than needed, no worse.
    std::atomic<Clock::rep> m_heldUntil{0};

    const bool m_mayLook;  // false on a single CPU: looking would only hold up the poster
    Pace m_pace = Pace::Prompt;
    bool m_lastCameFast = false;
    bool m_tookSome = false;  // the last TakeAll found messages
    // When the last wait began with an empty queue; unset when it found a
    // message already there (the host's own post, say), which tells nothing
    // about how fast the line answers.
    std::optional<Clock::time_point> m_waitBegan;
};

}  // namespace quorlin
