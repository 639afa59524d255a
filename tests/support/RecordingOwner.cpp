#include "tests/support/SerialTestSupport.h"

#include <algorithm>

namespace quorlin::test {

void RecordingOwner::Post(unsigned message, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back({message, wParam, lParam});
    }
    m_posted.notify_all();
}

std::vector<PostedMessage> RecordingOwner::Messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

size_t RecordingOwner::Count(unsigned message) const {
    std::lock_guard lock(m_mutex);
    return static_cast<size_t>(std::count_if(m_messages.begin(), m_messages.end(),
                                              [&](const PostedMessage& m) { return m.message == message; }));
}

bool RecordingOwner::WaitFor(const Predicate& predicate, std::chrono::milliseconds deadline) {
    std::unique_lock lock(m_mutex);
    return m_posted.wait_for(lock, deadline, [&] { return predicate(m_messages); });
}

bool RecordingOwner::WaitForCount(unsigned message, size_t count,
                                  std::chrono::milliseconds deadline) {
    return WaitFor(
        [&](const std::vector<PostedMessage>& all) {
            return static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](const PostedMessage& m) {
                       return m.message == message;
                   })) >= count;
        },
        deadline);
}

bool RecordingOwner::Take(PostedMessage& out, std::chrono::milliseconds deadline) {
    std::unique_lock lock(m_mutex);
    if (!m_posted.wait_for(lock, deadline, [&] { return m_taken < m_messages.size(); }))
        return false;
    out = m_messages[m_taken++];
    return true;
}

}  // namespace quorlin::test
