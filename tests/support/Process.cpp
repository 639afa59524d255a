#include "tests/support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>

extern char** environ;

namespace quorlin::e2e {

namespace {

std::vector<char*> Pointers(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const auto& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& name,
                 const std::string& outputPath)
    : name_(name) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) return;
    if (pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    if (outputPath.empty()) posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    else posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    // The child starts with default signal handling and nothing blocked, so
    // SIGINT reaches the command-line tool's own handler.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    auto args = Pointers(argv);
    auto envp = Pointers(env);
    if (posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in_ = in[1];
    outFd_ = out[0];
    if (!outputPath.empty()) {
        close(outFd_);
        outFd_ = -1;
    }
    errFd_ = err[0];
    fcntl(outFd_, F_SETFL, O_NONBLOCK);
    fcntl(errFd_, F_SETFL, O_NONBLOCK);
}

Process::~Process() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        Reap(true);
    }
    CloseInput();
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
}

void Process::WriteLine(const std::string& line) {
    if (in_ < 0) return;
    const std::string text = line + "\n";
    // A closed reader must fail the test, not kill it.
    std::signal(SIGPIPE, SIG_IGN);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(in_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void Process::CloseInput() {
    if (in_ >= 0) close(in_);
    in_ = -1;
}

void Process::Signal(int signal) {
    if (pid_ > 0 && !status_) kill(pid_, signal);
}

void Process::ReadFrom(int& fd, std::string& into) {
    if (fd < 0) return;
    char buffer[8192];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        close(fd);  // end of file: the process has let go of it
        fd = -1;
        return;
    }
}

void Process::Reap(bool block) {
    if (pid_ <= 0 || status_) return;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (done != pid_) return;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void Process::Pump() {
    ReadFrom(outFd_, out_);
    ReadFrom(errFd_, err_);
    // Both pipes at their end: the process has ended or is about to.
    if (outFd_ < 0 && errFd_ < 0) Reap(true);
}

std::vector<int> Process::Descriptors() const {
    std::vector<int> fds;
    if (outFd_ >= 0) fds.push_back(outFd_);
    if (errFd_ >= 0) fds.push_back(errFd_);
    return fds;
}

double ProcessorSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) return 0;
    // After the name: state, then fields 4 to 13, then utime and stime.
    std::istringstream fields(line.substr(nameEnd + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stoll(field);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

Session::~Session() {
    if (folderWatch_ >= 0) close(folderWatch_);
}

bool Session::WatchFolder(const std::string& folder) {
    if (folderWatch_ < 0) folderWatch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    return folderWatch_ >= 0 &&
           inotify_add_watch(folderWatch_, folder.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE) >= 0;
}

void Session::Remove(Process& process) {
    processes_.erase(std::remove(processes_.begin(), processes_.end(), &process), processes_.end());
}

bool Session::WaitUntil(const std::function<bool()>& done, Deadline deadline) {
    for (;;) {
        for (auto* process : processes_) process->Pump();
        if (done()) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        std::vector<pollfd> fds;
        for (auto* process : processes_)
            for (const int fd : process->Descriptors()) fds.push_back({fd, POLLIN, 0});
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
        // Nothing to watch (every process has closed its pipes): the wait
        // is for the deadline only, and done() will not change any more.
        if (fds.empty()) return done();
        if (folderWatch_ >= 0) fds.push_back({folderWatch_, POLLIN, 0});
        if (poll(fds.data(), fds.size(), static_cast<int>(left)) > 0 && folderWatch_ >= 0 && fds.back().revents) {
            char events[4096];
            while (read(folderWatch_, events, sizeof events) > 0) {
            }
        }
    }
}

std::optional<std::string> Session::WaitForLine(Process& process, const std::string& text, std::size_t& from,
                                                Deadline deadline) {
    std::optional<std::string> found;
    WaitUntil(
        [&] {
            const std::string& out = process.Out();
            std::size_t start = from;
            for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
                const std::string line = out.substr(start, end - start);
                if (line.find(text) != std::string::npos) {
                    found = line;
                    from = end + 1;
                    return true;
                }
            }
            return false;
        },
        deadline);
    return found;
}

bool Session::WaitForExit(Process& process, Deadline deadline) {
    if (WaitUntil([&] { return process.Exited(); }, deadline)) return true;
    process.Signal(SIGKILL);
    WaitUntil([&] { return process.Exited(); }, After(std::chrono::seconds(5)));
    return false;
}

std::vector<std::string> InheritedEnvironment() {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) env.emplace_back(*entry);
    return env;
}

std::vector<std::string> IsolatedEnvironment(const std::string& folder) {
    std::vector<std::string> env;
    for (const std::string& item : InheritedEnvironment()) {
        if (item.rfind("QUORLIN_PORTS=", 0) == 0 || item.rfind("XDG_CONFIG_HOME=", 0) == 0 ||
            item.rfind("HOME=", 0) == 0)
            continue;
        env.push_back(item);
    }
    env.push_back("QUORLIN_PORTS=" + folder + "/ports");
    env.push_back("XDG_CONFIG_HOME=" + folder + "/config");
    env.push_back("HOME=" + folder);
    return env;
}

}  // namespace quorlin::e2e
