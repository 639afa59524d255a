// The host's wait on POSIX: the message pump's eventfd and a signalfd for
// SIGINT and SIGTERM, in one poll().

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

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
    int signalFd = -1;  // signalfd: SIGINT or SIGTERM
};

HostWait::HostWait(PumpWake* messages)
    : m_state(std::make_unique<State>()),
      m_ownMessages(messages ? nullptr : std::make_unique<PumpWake>()),
      m_messages(messages ? messages : m_ownMessages.get()) {
    const sigset_t signals = CancelSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    m_state->signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
}

HostWait::~HostWait() {
    if (m_state->signalFd >= 0) close(m_state->signalFd);
}

void HostWait::Wake() { m_messages->Signal(); }

HostWait::Woken HostWait::Wait(int timeoutMs) {
    pollfd fds[2] = {{m_messages->NativeHandle(), POLLIN, 0}, {m_state->signalFd, POLLIN, 0}};
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
        m_messages->Clear();
        return Woken::Message;
    }
    return Woken::TimedOut;  // nothing readable: look again
}

void HostWait::ReleaseCancel() {
    const sigset_t signals = CancelSignals();
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

}  // namespace quorlin::cli
