#pragma once
// Runs quorlin-cli as a separate process, as service staff run it, and
// collects its exit status and what it prints; a run that does not end by its
// deadline is killed and reported as a test failure.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Process.h"

namespace quorlin::test {

struct CliOptions {
    std::string stdoutPath;  // empty: collected into CliRun::out
    // Permissions hold even when the tests run as root.
    bool unprivileged = false;
    // Writes past this size fail with EFBIG, as on a disk that is full;
    // quorlin-cli itself must survive the limit's signal.
    std::optional<std::uint64_t> fileSizeLimit;
    std::chrono::milliseconds deadline = std::chrono::seconds(60);
};

struct CliRun {
    int status = -1;  // exit status, 128 + signal when killed; -1 when not started
    std::string out;
    std::string err;
    std::chrono::milliseconds took{0};
};

// A quorlin-cli that was started and has not been collected yet.
struct RunningCli {
    std::unique_ptr<e2e::Process> process;
    std::chrono::steady_clock::time_point start;
    std::chrono::milliseconds deadline{0};
};

// Starts quorlin-cli with args without waiting for it. The limit and the
// user are taken on by util-linux's prlimit and setpriv just before
// quorlin-cli starts, so this test process keeps its own.
inline RunningCli StartCli(const std::vector<std::string>& args, const CliOptions& options = {}) {
    std::vector<std::string> argv;
    if (options.unprivileged && ::geteuid() == 0) {
        // The usual "nobody" of Linux systems.
        argv.insert(argv.end(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    }
    if (options.fileSizeLimit) {
        argv.insert(argv.end(), {"/usr/bin/prlimit", "--fsize=" + std::to_string(*options.fileSizeLimit), "--"});
    }
    argv.push_back(QUORLIN_CLI_PATH);
    argv.insert(argv.end(), args.begin(), args.end());

    RunningCli running;
    running.start = std::chrono::steady_clock::now();
    running.deadline = options.deadline;
    running.process =
        std::make_unique<e2e::Process>(argv, e2e::InheritedEnvironment(), "quorlin-cli", options.stdoutPath);
    running.process->CloseInput();  // quorlin-cli reads no input: it sees its end at once
    return running;
}

// Collects what a started quorlin-cli printed and its exit status.
inline CliRun FinishCli(RunningCli& running) {
    CliRun run;
    e2e::Process& process = *running.process;
    if (!process.Started()) {
        ADD_FAILURE() << "quorlin-cli could not be started";
        return run;
    }
    e2e::Session session;
    session.Add(process);
    if (!session.WaitForExit(process, running.start + running.deadline))
        ADD_FAILURE() << "quorlin-cli did not end within the deadline";
    run.status = process.ExitStatus();
    run.out = process.Out();
    run.err = process.Err();
    run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - running.start);
    return run;
}

inline CliRun RunCli(const std::vector<std::string>& args, const CliOptions& options = {}) {
    RunningCli running = StartCli(args, options);
    return FinishCli(running);
}

}  // namespace quorlin::test
