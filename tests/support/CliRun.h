#pragma once
// Runs quorlin-cli as a separate process, as service staff run it, and
// collects its exit status and what it prints.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/convert/ChildProcess.h"

namespace quorlin::test {

struct CliOptions {
    std::string workingFolder;  // empty: the test's own
    std::string stdoutPath;     // empty: collected into CliRun::out
    bool unprivileged = false;
    std::optional<rlim_t> fileSizeLimit;  // see ChildOptions
    std::chrono::milliseconds deadline = std::chrono::seconds(60);
};

struct CliRun {
    int status = -1;  // exit status; -1 when killed or not started
    std::string out;
    std::string err;
    std::chrono::milliseconds took{0};
};

// A quorlin-cli that was started and has not been collected yet.
struct RunningCli {
    pid_t pid = -1;
    int outFd = -1;
    int errFd = -1;
    std::chrono::steady_clock::time_point start;
    std::chrono::milliseconds deadline{0};
};

// Starts quorlin-cli with args without waiting for it.
inline RunningCli StartCli(const std::vector<std::string>& args, const CliOptions& options = {}) {
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> words{QUORLIN_CLI_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    RunningCli running;
    running.start = std::chrono::steady_clock::now();
    running.deadline = options.deadline;
    running.pid = ::fork();
    if (running.pid < 0) throw std::runtime_error("fork");
    if (running.pid == 0) {
        int out = outPipe[1];
        if (!options.stdoutPath.empty()) out = ::open(options.stdoutPath.c_str(), O_WRONLY | O_CLOEXEC);
        if (out < 0 || ::dup2(out, 1) < 0 || ::dup2(errPipe[1], 2) < 0) ::_exit(kChildSetupFailed);
        if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0)
            ::_exit(kChildSetupFailed);
        ChildOptions child;
        child.unprivileged = options.unprivileged;
        child.fileSizeLimit = options.fileSizeLimit;  // kept across exec
        child.ignoreFileSizeSignal = false;           // quorlin-cli itself must not die of it
        if (!TakeOnChildOptions(child)) ::_exit(kChildSetupFailed);
        ::execv(QUORLIN_CLI_PATH, argv.data());
        ::_exit(kChildSetupFailed);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    running.outFd = outPipe[0];
    running.errFd = errPipe[0];
    return running;
}

// Collects what a started quorlin-cli printed and its exit status; one that
// has not ended by its deadline is killed and reported as a test failure.
inline CliRun FinishCli(RunningCli& running) {
    CliRun run;
    const auto deadline = running.start + running.deadline;
    // Drained one after the other: stderr is a line or two, far below a
    // pipe's capacity, so the child never waits on it while stdout is read.
    bool inTime = ReadUntilEnd(running.outFd, run.out, deadline);
    inTime = inTime && ReadUntilEnd(running.errFd, run.err, deadline);
    ::close(running.outFd);
    ::close(running.errFd);
    if (!inTime) ADD_FAILURE() << "quorlin-cli did not end within the deadline";
    run.status = Reap(running.pid, inTime);
    run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - running.start);
    return run;
}

inline CliRun RunCli(const std::vector<std::string>& args, const CliOptions& options = {}) {
    RunningCli running = StartCli(args, options);
    return FinishCli(running);
}

}  // namespace quorlin::test
