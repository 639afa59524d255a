// The host's wait on POSIX: an eventfd for posted messages and a signalfd
// for SIGINT and SIGTERM, in one poll().

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "cli/HostWait.h"

namespace quorlin::cli {

namespace {

sigset_t CancelSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

struct HostWait::State {
    int wakeFd = -1;    // eventfd: a message was posted
    int signalFd = -1;  // signalfd: SIGINT or SIGTERM
};

HostWait::HostWait() : m_state(std::make_unique<State>()) {
    const sigset_t signals = CancelSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    m_state->signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    m_state->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

HostWait::~HostWait() {
    if (m_state->signalFd >= 0) close(m_state->signalFd);
    if (m_state->wakeFd >= 0) close(m_state->wakeFd);
}

void HostWait::Wake() {
    const uint64_t one = 1;
    ssize_t ignored = write(m_state->wakeFd, &one, sizeof one);
    (void)ignored;
}

HostWait::Woken HostWait::Wait(int timeoutMs) {
    pollfd fds[2] = {{m_state->wakeFd, POLLIN, 0}, {m_state->signalFd, POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs < 0 ? -1 : timeoutMs);
    if (ready < 0) return errno == EINTR ? Woken::TimedOut : Woken::Failed;
    if (ready == 0) return Woken::TimedOut;
    if (fds[1].revents & POLLIN) {
        signalfd_siginfo info;
        ssize_t ignored = read(m_state->signalFd, &info, sizeof info);
        (void)ignored;
        return Woken::Cancel;
    }
    if (fds[0].revents & POLLIN) {
        uint64_t drained;
        ssize_t ignored = read(m_state->wakeFd, &drained, sizeof drained);
        (void)ignored;
        return Woken::Message;
    }
    return Woken::TimedOut;  // nothing readable: look again
}

void HostWait::ReleaseCancel() {
    const sigset_t signals = CancelSignals();
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

}  // namespace quorlin::cli
