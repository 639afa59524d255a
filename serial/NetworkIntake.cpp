#include "serial/NetworkIntake.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstddef>

namespace quorlin {

bool NetworkIntake::Look(int socket, Clock::time_point now) {
    if (m_movedAt == Clock::time_point{}) m_movedAt = now;
    tcp_info info{};
    socklen_t size = sizeof info;
    // tcpi_snd_wnd is the last field read: an older system without it
    // tells nothing here.
    if (socket < 0 || ::getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
        size < offsetof(tcp_info, tcpi_snd_wnd) + sizeof info.tcpi_snd_wnd) {
        m_unread = 0;
        return false;
    }
    const uint64_t window = info.tcpi_snd_wnd;
    const uint64_t rightEdge = info.tcpi_bytes_acked + window;
    m_largestWindow = std::max(m_largestWindow, window);
    m_unread = m_largestWindow - window;
    if (rightEdge > m_rightEdge || m_unread == 0) m_movedAt = now;
    m_rightEdge = std::max(m_rightEdge, rightEdge);
    return true;
}

NetworkIntake::Clock::duration NetworkIntake::StillFor(Clock::time_point now) const {
    if (m_unread == 0) return Clock::duration::zero();
    return now - m_movedAt;
}

}  // namespace quorlin
