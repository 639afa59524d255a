// Signals reach the GUI thread through a pipe: the handler only writes the
// signal's number to it (write() is safe in a handler), a QSocketNotifier
// on the other end turns it into quitRequested.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>

#include "app/QuitSignals.h"

namespace quorlin {

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler can reach nothing but a variable of the process: the pipe's
// writing end while a QuitSignals object lives, else -1.
std::atomic<int> g_quitPipeWriteFd{-1};

extern "C" void OnQuitSignal(int signalNumber) {
    const int saved = errno;
    const int fd = g_quitPipeWriteFd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        const ssize_t ignored = ::write(fd, &byte, 1);
        (void)ignored;
    }
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Quorlin: no pipe for the quit signals; they end the program at once");
        return;
    }
    m_readFd = fds[0];
    g_quitPipeWriteFd.store(fds[1]);
    m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::OnReadable);
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kQuitSignals) ::sigaction(signalNumber, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    if (m_readFd < 0) return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kQuitSignals) ::sigaction(signalNumber, &action, nullptr);
    const int writeFd = g_quitPipeWriteFd.exchange(-1);
    ::close(writeFd);
    ::close(m_readFd);
}

void QuitSignals::OnReadable() {
    unsigned char bytes[16];
    const ssize_t got = ::read(m_readFd, bytes, sizeof bytes);
    // Several signals in a row ask for one ending.
    if (got > 0) emit quitRequested(bytes[0]);
}

void IgnoreFileSizeLimitSignal() { ::signal(SIGXFSZ, SIG_IGN); }

}  // namespace quorlin
