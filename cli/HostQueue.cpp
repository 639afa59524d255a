#include "cli/HostQueue.h"

#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace quorlin::cli {

namespace {

// Tells the CPU that this is a busy look, so that it spends less power and
// lets a sibling hardware thread run.
inline void Relax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

}  // namespace

HostQueue::HostQueue() : m_mayLook(std::thread::hardware_concurrency() > 1) {}

bool HostQueue::Post(const Message& message) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(message);
        m_pending.store(true);
    }
    return m_parked.load();
}

std::deque<HostQueue::Message> HostQueue::TakeAll() {
    std::deque<Message> taken;
    {
        std::lock_guard lock(m_mutex);
        taken.swap(m_queue);
        m_pending.store(false);
    }
    if (!taken.empty() && m_waitBegan) m_lastCameFast = Clock::now() - *m_waitBegan <= kLookLimit;
    return taken;
}

bool HostQueue::ReadyToPark() {
    m_waitBegan.reset();
    if (m_pending.load()) return false;
    m_waitBegan = Clock::now();
    if (m_mayLook && m_answerAwaited && m_lastCameFast) {
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

}  // namespace quorlin::cli
