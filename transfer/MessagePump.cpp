#include "transfer/MessagePump.h"

#include <algorithm>
#include <thread>

#include "serial/SerialOwner.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <immintrin.h>
#define QUORLIN_PUMP_PAUSE 1
#endif

namespace quorlin {

namespace {

// Tells the CPU that this is a busy look, so that it spends less power and
// lets a sibling hardware thread run.
inline void Relax() {
#ifdef QUORLIN_PUMP_PAUSE
    _mm_pause();
#endif
}

bool SamePortBytes(const MessagePump::Message& queued, const MessagePump::Message& next) {
    return queued.message == WM_SERIAL_RXDATA && next.message == WM_SERIAL_RXDATA && queued.wParam == next.wParam;
}

}  // namespace

MessagePump::MessagePump() : m_mayLook(std::thread::hardware_concurrency() > 1) {}

bool MessagePump::Post(const Message& message) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_queue.empty() && SamePortBytes(m_queue.back(), message))
            m_queue.back().lParam = std::max(m_queue.back().lParam, message.lParam);
        else
            m_queue.push_back(message);
        m_pending.store(true);
    }
    if (!m_parked.load()) return false;
    if (Clock::now().time_since_epoch().count() < m_heldUntil.load()) return false;  // the host looks then
    // Only the first post after the host parked wakes it.
    if (!m_parked.exchange(false)) return false;
    m_wake.Signal();
    return true;
}

std::deque<MessagePump::Message> MessagePump::TakeAll() {
    std::deque<Message> taken;
    {
        std::lock_guard lock(m_mutex);
        taken.swap(m_queue);
        m_pending.store(false);
    }
    if (!taken.empty() && m_waitBegan) m_lastCameFast = Clock::now() - *m_waitBegan <= kLookLimit;
    m_tookSome = !taken.empty();
    return taken;
}

void MessagePump::Handled() {
    const bool hold = m_pace == Pace::Stream && m_tookSome;
    m_heldUntil.store(hold ? (Clock::now() + kStreamHold).time_since_epoch().count() : 0);
}

std::optional<MessagePump::Clock::time_point> MessagePump::HeldUntil() const {
    const Clock::rep until = m_heldUntil.load();
    if (until == 0) return std::nullopt;
    return Clock::time_point(Clock::duration(until));
}

size_t MessagePump::Pending() const {
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

bool MessagePump::Park() {
    m_waitBegan.reset();
    if (m_pending.load()) return false;
    m_waitBegan = Clock::now();
    if (m_mayLook && m_pace == Pace::Answer && m_lastCameFast) {
        const auto until = *m_waitBegan + kLookLimit;
        do {
            for (int i = 0; i < 64; ++i) {
                if (m_pending.load()) return false;
                Relax();
            }
        } while (Clock::now() < until);
    }
    m_parked.store(true);
    if (!m_pending.load()) return true;
    m_parked.store(false);
    return false;
}

}  // namespace quorlin
