#pragma once
// A child process (quorlin-cli, quorlin-sim) for the tests, the soak and the
// benchmarks: started with posix_spawn, its standard input a pipe, its
// standard output and error collected. Every wait
// is bounded by a deadline and pumps the output of every process of the
// session, so no child ever blocks on a full pipe while the test waits on
// another one.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorlin::e2e {

using Deadline = std::chrono::steady_clock::time_point;

// Generous: it matters only when something is wrong, and a sanitizer build on
// a loaded two-core machine is slow.
inline Deadline After(std::chrono::seconds seconds = std::chrono::seconds(20)) {
    return std::chrono::steady_clock::now() + seconds;
}

class Process {
public:
    // Starts `argv` with the environment `env` (NAME=VALUE entries); with an
    // `outputPath`, standard output goes to that existing file instead.
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& name,
            const std::string& outputPath = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    const std::string& Name() const { return name_; }
    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    void WriteLine(const std::string& line);
    void CloseInput();
    void Signal(int signal);

    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }
    // Hands over what the process has printed on standard output so far and
    // forgets it: a long-lived process (the soak's simulators) must not make
    // its reader grow. Offsets into Out() start again from 0.
    std::string TakeOut() { return std::exchange(out_, std::string()); }
    bool Exited() const { return status_.has_value(); }
    // The exit status, or 128 + signal number.
    int ExitStatus() const { return status_.value_or(-1); }

    // Reads what is waiting on this process's pipes; notes its end.
    void Pump();
    std::vector<int> Descriptors() const;

private:
    void ReadFrom(int& fd, std::string& into);
    void Reap(bool block);

    std::string name_;
    pid_t pid_ = -1;
    int in_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    std::optional<int> status_;
};

// Waits on one or more processes at once.
class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Add(Process& process) { processes_.push_back(&process); }
    void Remove(Process& process);

    // Also wakes the waits when a file in folder is written, so that a wait
    // can be for what a file says (a log a process writes). False when the
    // folder cannot be watched.
    bool WatchFolder(const std::string& folder);

    // Pumps until `done` holds or the deadline passes; true when it held.
    bool WaitUntil(const std::function<bool()>& done, Deadline deadline);

    // Waits for a line of `process`'s standard output, after character
    // `from`, that contains `text`; the whole line, or nothing on time-out.
    // `from` moves past the line found.
    std::optional<std::string> WaitForLine(Process& process, const std::string& text, std::size_t& from,
                                           Deadline deadline);

    // Waits for the process to end; false when it did not by the deadline
    // (then it is killed).
    bool WaitForExit(Process& process, Deadline deadline);

private:
    std::vector<Process*> processes_;
    int folderWatch_ = -1;
};

// The processor time (user and system) a running process has used so far,
// in seconds; 0 when it cannot be read.
double ProcessorSeconds(pid_t pid);

// This process's environment, for a child that runs as the test does.
std::vector<std::string> InheritedEnvironment();

// This process's environment with the tools' folders moved into folder, as
// on a machine of their own: the ports map (QUORLIN_PORTS=folder/ports), the
// profile (XDG_CONFIG_HOME=folder/config) and HOME.
std::vector<std::string> IsolatedEnvironment(const std::string& folder);

}  // namespace quorlin::e2e
