// quorlin-cli serve: every machine of the profile served at once, without
// anybody at the PC. Each machine is served on a thread of its own
// (MachineThread), so that one machine's slow disk or port never holds up
// another's line; this thread waits for the signals.

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/ArgParser.h"
#include "cli/Commands.h"
#include "cli/LogOutput.h"
#include "cli/serve/LogFiles.h"
#include "cli/serve/MachineThread.h"
#include "profile/ServeProfiles.h"

namespace quorlin::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kDefaultRetryMs = 5000;
// A requested send that stands still this long is given up: a control that
// stopped it with DC3 and was reset never resumes it.
constexpr long kDefaultIdleSeconds = 60;

const char* const kServeHelp =
    "usage: quorlin-cli serve [--retry-ms MS] [--idle-timeout S] [NAME...]\n"
    "\n"
    "Serves the machines NAME (all machine profiles when none is named; see\n"
    "'quorlin-cli machines --help') at once, unattended, until SIGTERM or SIGINT.\n"
    "Each machine's port is kept open with a receive waiting for its controller:\n"
    "  - a program the controller sends is stored in the machine's ReceiveFolder\n"
    "    under the name NamePattern makes of its program number (O1234 gives\n"
    "    O1234.nc); a program without a number is stored as\n"
    "    received-YYYYMMDD-HHMMSS.nc. It is received into a hidden file of that\n"
    "    folder and renamed once it is whole and on the disk; a program that had\n"
    "    the name before is kept as NAME.YYYYMMDD-HHMMSS.EXT (O1234.20260101-120000.nc).\n"
    "    A receive that did not complete is kept as received-YYYYMMDD-HHMMSS.partial.nc.\n"
    "  - a program numbered RequestNumber is a request: its first comment names a\n"
    "    program by one of RequestComments ((REQ O1234) or (PRG=1234)), whose file\n"
    "    (NamePattern again: O1234.nc) is taken from the first SendFolders folder\n"
    "    holding it and sent RequestDelay seconds later, when the operator has\n"
    "    switched the control to receive. A request is never stored.\n"
    "The keys of a machine's group that serve reads, beside Port, Family, BaudIndex,\n"
    "ReceiveFolder (needed) and SendFolders:\n"
    "  RequestNumber=9999                  the number of a request\n"
    "  NamePattern=O{number}.nc            a file name holding {number} once\n"
    "  RequestComments=REQ O{number}, PRG={number}\n"
    "                                      matched without regard to case or blanks\n"
    "  RequestDelay=5                      seconds (0.5 is half a second)\n"
    "  LogFile=PATH                        the machine's log; default NAME.log in\n"
    "                                      $XDG_STATE_HOME/quorlin (~/.local/state/quorlin)\n"
    "  LogFileSize=1024                    KiB; a longer log is renamed PATH.1\n"
    "\n"
    "Standard output carries one line per event, for the journal and for scripts:\n"
    "  NAME: serving PORT         NAME: stored PATH (N bytes)\n"
    "  NAME: requested FILE       NAME: sent PATH (N bytes)\n"
    "  NAME: failed WHAT: WHY     NAME: port lost     NAME: port back\n"
    "  NAME: stopped\n"
    "The machine's log file holds its transfers as the application's log view\n"
    "does. A port that is lost or does not open is tried again every 5 seconds\n"
    "(--retry-ms). A requested send in which nothing moved on the line for 60\n"
    "seconds (--idle-timeout) is given up and the machine waits for programs\n"
    "again. One machine's fault never stops another. A machine that another serve\n"
    "serves (it holds .serve-NAME.lock in the receive folder) is refused:\n"
    "  NAME: refused: WHY\n"
    "\n"
    "SIGTERM or SIGINT cancels the running transfers as their Cancel does and\n"
    "ends within about 3 seconds (exit status 0); SIGHUP reads the profile again:\n"
    "new machines are served, removed and changed ones are stopped (a changed one\n"
    "then served anew) once no program is on their line, the others go on. A\n"
    "profile that cannot be read keeps every machine as it was, and says why.\n"
    "serve runs on Linux and other POSIX systems only.\n";

// The folder of the logs whose machines name no LogFile.
std::string DefaultLogFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') return std::string(state) + "/quorlin";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/state/quorlin";
    return "quorlin-logs";
}

// The machines to serve, as the profile has them now. Groups that are no
// machine are said on standard error; so are names that are not there.
// unreadable: why the profile could not be read as a whole.
std::vector<ServedMachineProfile> ReadServed(const std::vector<std::string>& names, std::vector<std::string>& refused,
                                             std::vector<std::string>& missing, std::string& unreadable) {
    ServeProfiles profiles = ReadServeProfiles(DefaultLogFolder());
    unreadable = profiles.unreadable;
    std::vector<ServedMachineProfile> chosen;
    auto wanted = [&](const std::string& name) {
        return names.empty() || std::find(names.begin(), names.end(), name) != names.end();
    };
    for (ServedMachineProfile& profile : profiles.machines) {
        if (!wanted(profile.machine.name)) continue;
        if (profile.machine.receiveFolder.empty())
            refused.push_back(profile.machine.name + ": serve needs its ReceiveFolder");
        else
            chosen.push_back(std::move(profile));
    }
    for (const std::string& why : profiles.refused)
        if (wanted(why.substr(0, why.find(": ")))) refused.push_back(why);
    for (const std::string& name : names) {
        const bool found = std::any_of(chosen.begin(), chosen.end(), [&](const auto& p) { return p.machine.name == name; }) ||
                           std::any_of(refused.begin(), refused.end(), [&](const auto& r) { return r.rfind(name + ": ", 0) == 0; });
        if (!found) missing.push_back(name);
    }
    for (const std::string& why : refused) std::fprintf(stderr, "quorlin-cli serve: machine %s\n", why.c_str());
    return chosen;
}

bool SameProfile(const ServedMachineProfile& a, const ServedMachineProfile& b) {
    return a.machine == b.machine && a.serve == b.serve;
}

// A machine served, and what is to become of it once it has retired.
struct Slot {
    std::unique_ptr<MachineThread> machine;
    std::optional<ServedMachineProfile> next;  // changed: served anew with this
};

// Starts a thread per machine and then waits for the signals, and for
// machines that have retired, to serve their changed profiles anew.
class ServeLoop {
public:
    ServeLoop(int signalFd, std::chrono::milliseconds retry, std::chrono::milliseconds idle,
              std::vector<std::string> names)
        : m_signalFd(signalFd), m_retry(retry), m_idle(idle), m_names(std::move(names)) {}

    int Run(std::vector<ServedMachineProfile> profiles) {
        for (ServedMachineProfile& profile : profiles) Add(std::move(profile));
        while (Wait()) Replace();
        Stop();
        return m_status;
    }

private:
    void Add(ServedMachineProfile profile) {
        const std::string name = profile.machine.name;
        Slot slot;
        try {
            slot.machine =
                std::make_unique<MachineThread>(std::move(profile), ServeReport{m_events, m_logs}, m_retry, m_idle,
                                                m_retired);
        } catch (const std::system_error& error) {
            std::fprintf(stderr, "quorlin-cli serve: machine %s: no thread: %s\n", name.c_str(), error.what());
            m_status = kExitFailed;
            return;
        }
        m_slots.push_back(std::move(slot));
    }

    // Waits for a signal or a retired machine; false once a signal ends the
    // service.
    bool Wait() {
        pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_retired.NativeHandle(), POLLIN, 0}};
        const int ready = poll(fds, 2, m_retired.IsValid() ? -1 : 1000);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "quorlin-cli serve: poll: %s\n", std::strerror(errno));
            m_status = kExitFailed;
            return false;
        }
        if (ready > 0 && (fds[1].revents & POLLIN)) m_retired.Clear();
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            signalfd_siginfo info;
            while (read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                if (info.ssi_signo != SIGHUP) return false;
                Reload();
            }
        }
        return true;
    }

    void Reload() {
        std::vector<std::string> refused, missing;
        std::string unreadable;
        std::vector<ServedMachineProfile> profiles = ReadServed(m_names, refused, missing, unreadable);
        if (!unreadable.empty()) {
            // What was read is no profile: judged by it, every machine would
            // be stopped for nothing.
            std::fprintf(stderr, "quorlin-cli serve: %s; every machine is served as it was\n", unreadable.c_str());
            m_events.Append("serve: failed reload: " + unreadable + "; every machine is served as it was\n");
            m_events.Flush();
            return;
        }
        for (Slot& slot : m_slots) {
            const std::string& name = slot.machine->Name();
            auto found = std::find_if(profiles.begin(), profiles.end(), [&](const auto& p) { return p.machine.name == name; });
            const bool refusedNow = std::any_of(refused.begin(), refused.end(), [&](const auto& r) { return r.rfind(name + ": ", 0) == 0; });
            if (found == profiles.end()) {
                // A group that is wrong now keeps its machine as it was.
                if (!refusedNow) slot.machine->Retire();
                continue;
            }
            // One retiring already is served anew with what the profile says now.
            if (slot.machine->Retiring() || !SameProfile(*found, slot.machine->Profile())) {
                slot.next = std::move(*found);
                slot.machine->Retire();
            }
            profiles.erase(found);
        }
        for (ServedMachineProfile& profile : profiles) Add(std::move(profile));
    }

    // The retired machines' threads are joined; the changed ones are served anew.
    void Replace() {
        std::vector<ServedMachineProfile> anew;
        std::erase_if(m_slots, [&](Slot& slot) {
            if (!slot.machine->Ended()) return false;
            slot.machine->Join();
            if (slot.next) anew.push_back(std::move(*slot.next));
            return true;
        });
        for (ServedMachineProfile& profile : anew) Add(std::move(profile));
    }

    // Every machine cancels its running transfer with its own cancel, at
    // once; the SUBs that tell the controllers go out on all lines together,
    // each bounded by its line time and the port's margin (3 s), before the
    // ports close.
    void Stop() {
        for (Slot& slot : m_slots) slot.machine->Shutdown();
        for (Slot& slot : m_slots) slot.machine->Join();
        m_slots.clear();
        m_events.Drain(std::chrono::seconds(1));
    }

    const int m_signalFd;
    const std::chrono::milliseconds m_retry;
    const std::chrono::milliseconds m_idle;
    const std::vector<std::string> m_names;
    LogOutput m_events{stdout};
    LogFiles m_logs{m_events};
    PumpWake m_retired;  // a machine's thread has ended
    std::vector<Slot> m_slots;
    int m_status = kExitDone;
};

}  // namespace

int RunServe(const Args& argv) {
    ParsedArgs args;
    if (auto reason = ParseArgs(argv, {{"retry-ms", true}, {"idle-timeout", true}}, args))
        return CommandLineError("serve", *reason);
    if (args.Has("help")) {
        std::fputs(kServeHelp, stdout);
        return kExitDone;
    }
    long retryMs = kDefaultRetryMs;
    if (auto text = args.Value("retry-ms")) {
        auto value = ParseNumber(*text, 10, 3600L * 1000);
        if (!value) return CommandLineError("serve", "--retry-ms takes milliseconds, 10 to 3600000");
        retryMs = *value;
    }
    long idleSeconds = kDefaultIdleSeconds;
    if (auto text = args.Value("idle-timeout")) {
        auto value = ParseNumber(*text, 1, 86400);
        if (!value) return CommandLineError("serve", "--idle-timeout takes whole seconds, 1 to 86400");
        idleSeconds = *value;
    }
    // Before any thread exists, so that every thread leaves these to the loop.
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        std::fprintf(stderr, "quorlin-cli serve: signalfd: %s\n", std::strerror(errno));
        return kExitFailed;
    }
    std::vector<std::string> refused, missing;
    std::string unreadable;
    std::vector<ServedMachineProfile> profiles = ReadServed(args.Positional(), refused, missing, unreadable);
    if (!unreadable.empty()) std::fprintf(stderr, "quorlin-cli serve: %s\n", unreadable.c_str());
    for (const std::string& name : missing)
        std::fprintf(stderr, "quorlin-cli serve: no machine %s in the profile ('quorlin-cli machines' lists them)\n",
                     name.c_str());
    if (!missing.empty() || profiles.empty()) {
        if (profiles.empty() && missing.empty())
            std::fprintf(stderr, "quorlin-cli serve: no machine to serve (see quorlin-cli serve --help)\n");
        close(signalFd);
        return kExitFailed;
    }
    const int status = ServeLoop(signalFd, std::chrono::milliseconds(retryMs), std::chrono::seconds(idleSeconds),
                                 args.Positional())
                           .Run(std::move(profiles));
    close(signalFd);
    return status;
}

}  // namespace quorlin::cli
