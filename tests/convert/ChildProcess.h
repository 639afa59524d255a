#pragma once
// Runs a piece of a test in a forked child, where it may be given a file size
// limit (a disk that fills up at a known point) or an unprivileged user (so
// that permissions hold even when the tests run as root), and where a fault
// that would hang or write without end is stopped at a deadline instead of
// stopping the whole suite.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace quorlin::test {

// The user and group a child drops to; the usual "nobody" of Linux systems.
constexpr uid_t kUnprivilegedUser = 65534;
constexpr gid_t kUnprivilegedGroup = 65534;
// Exit status of a child that could not take on what it was asked to.
constexpr int kChildSetupFailed = 120;

struct ChildOptions {
    std::chrono::milliseconds deadline = std::chrono::seconds(30);
    // Writes past this size fail with EFBIG (SIGXFSZ is ignored), as on a
    // disk that is full.
    std::optional<rlim_t> fileSizeLimit;
    // False for a program that has to survive the limit's signal itself:
    // SIGXFSZ keeps its default, which ends a process that does not ignore it.
    bool ignoreFileSizeSignal = true;
    bool unprivileged = false;
};

struct ChildResult {
    bool endedInTime = false;
    int exitStatus = -1;   // -1 when it did not exit normally
    std::string output;    // what the body returned
    std::chrono::milliseconds took{0};
};

// Applies options to the calling process: for a child only, after fork().
inline bool TakeOnChildOptions(const ChildOptions& options) {
    if (options.fileSizeLimit) {
        ::signal(SIGXFSZ, options.ignoreFileSizeSignal ? SIG_IGN : SIG_DFL);
        const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
    }
    if (options.unprivileged && ::geteuid() == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedGroup) != 0 || ::setuid(kUnprivilegedUser) != 0)
            return false;
    }
    return true;
}

// Reads fd to its end or until the deadline; false when the deadline came.
inline bool ReadUntilEnd(int fd, std::string& into, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd watch{fd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            return true;
        }
    }
}

// Waits for pid, killing it first when it did not end in time.
inline int Reap(pid_t pid, bool endedInTime) {
    if (!endedInTime) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs body in a child process; the text it returns comes back in output.
inline ChildResult RunInChild(const std::function<std::string()>& body, const ChildOptions& options = {}) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (!TakeOnChildOptions(options)) ::_exit(kChildSetupFailed);
        std::string text;
        try {
            text = body();
        } catch (const std::exception& error) {
            text = std::string("exception: ") + error.what();
        }
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(pipeFds[1], text.data() + done, text.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);  // no exit handlers: they belong to the parent's test run
    }
    ::close(pipeFds[1]);
    ChildResult result;
    result.endedInTime = ReadUntilEnd(pipeFds[0], result.output, start + options.deadline);
    ::close(pipeFds[0]);
    result.exitStatus = Reap(pid, result.endedInTime);
    result.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return result;
}

}  // namespace quorlin::test
