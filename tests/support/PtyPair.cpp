#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "tests/support/SerialTestSupport.h"

namespace quorlin::test {

PtyPair::PtyPair() {
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed: " << std::strerror(errno);
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = name;
    termios tio;
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);  // no echo of the controller's bytes back to it
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() {
    CloseMaster();
    if (m_slave >= 0) ::close(m_slave);
}

void PtyPair::CloseMaster() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

bool PtyPair::Write(const std::string& bytes) {
    size_t done = 0;
    const auto until = std::chrono::steady_clock::now() + kWaitDeadline;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fd{m_master, POLLOUT, 0};
        ::poll(&fd, 1, static_cast<int>(left.count()));
    }
    return true;
}

long PtyPair::ReadPiece(char* buffer, size_t size) {
    const ssize_t n = ::read(m_master, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

bool PtyPair::WaitReadable(std::chrono::steady_clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fd{m_master, POLLIN, 0};
    ::poll(&fd, 1, static_cast<int>(left.count()));
    return true;
}

}  // namespace quorlin::test
