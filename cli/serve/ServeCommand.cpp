// quorlin-cli serve: every machine of the profile served at once, without
// anybody at the PC. One thread waits for all machines, the signals and the
// machines' timers in one epoll wait; each machine's port has its own threads,
// as every port has.

#include <sys/epoll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/ArgParser.h"
#include "cli/Commands.h"
#include "cli/LogOutput.h"
#include "cli/serve/LogFiles.h"
#include "cli/serve/ServedMachine.h"
#include "profile/ServeProfiles.h"

namespace quorlin::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kDefaultRetryMs = 5000;

const char* const kServeHelp =
    "usage: quorlin-cli serve [--retry-ms MS] [NAME...]\n"
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
    "(--retry-ms). One machine's fault never stops another.\n"
    "\n"
    "SIGTERM or SIGINT cancels the running transfers as their Cancel does and\n"
    "ends within about 3 seconds (exit status 0); SIGHUP reads the profile again:\n"
    "new machines are served, removed and changed ones are stopped (a changed one\n"
    "then served anew) once no program is on their line, the others go on.\n"
    "serve runs on Linux and other POSIX systems only.\n";

// The folder of the logs whose machines name no LogFile.
std::string DefaultLogFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') return std::string(state) + "/quorlin";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/state/quorlin";
    return "quorlin-logs";
}

// The machines to serve, as the profile has them now. Groups that are no
// machine are said on standard error; so are names that are not there.
std::vector<ServedMachineProfile> ReadServed(const std::vector<std::string>& names, std::vector<std::string>& refused,
                                             std::vector<std::string>& missing) {
    ServeProfiles profiles = ReadServeProfiles(DefaultLogFolder());
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

// A machine served, and what is to become of it once its line is free.
struct Slot {
    std::unique_ptr<ServedMachine> machine;
    std::optional<ServedMachineProfile> next;  // changed: served anew with this
    bool remove = false;
    bool due = true;      // woken, a message waiting or its deadline near: run it
    bool parked = false;  // waiting for its wake-up or its deadline
    std::optional<Clock::time_point> deadline;  // the machine's, as it parked
};

// How far ahead of its deadline a machine is run when the loop is awake
// anyway. A streaming receive's machine asks for its turn every few
// milliseconds; without this each would wake the loop at a moment of its
// own, with it they fall into step and share the wake-ups.
constexpr std::chrono::milliseconds kDeadlineSlack{2};

class ServeLoop {
public:
    ServeLoop(int signalFd, std::chrono::milliseconds retry, std::vector<std::string> names)
        : m_signalFd(signalFd), m_retry(retry), m_names(std::move(names)) {}
    ~ServeLoop() {
        if (m_epoll >= 0) close(m_epoll);
    }
    ServeLoop(const ServeLoop&) = delete;
    ServeLoop& operator=(const ServeLoop&) = delete;

    int Run(std::vector<ServedMachineProfile> profiles) {
        // One set of handles kept for the life of the loop: a wait costs the
        // same whether 2 machines are served or 64, and only the machines
        // that ran park again.
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        if (m_epoll < 0 || !Watch(m_signalFd, nullptr)) {
            std::fprintf(stderr, "quorlin-cli serve: epoll: %s\n", std::strerror(errno));
            return kExitFailed;
        }
        for (ServedMachineProfile& profile : profiles) Add(std::move(profile));
        for (;;) {
            // Only the machines with something to do run: a shop's lines wake
            // the loop thousands of times a second, each time for one or two.
            for (auto& slot : m_slots)
                if (std::exchange(slot->due, false)) slot->machine->Run();
            Replace();
            if (!Wait()) break;
        }
        Stop();
        return m_status;
    }

private:
    bool Watch(int fd, Slot* slot) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.ptr = slot;
        return epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) == 0;
    }

    void Add(ServedMachineProfile profile) {
        auto slot = std::make_unique<Slot>();
        slot->machine = std::make_unique<ServedMachine>(std::move(profile), ServeReport{m_events, m_logs}, m_retry);
        slot->machine->Start();
        if (!Watch(slot->machine->WakeHandle(), slot.get())) {
            // Without its wake-up the machine would be run at its deadlines
            // only: it is not served rather than served badly.
            std::fprintf(stderr, "quorlin-cli serve: machine %s: epoll: %s\n", slot->machine->Name().c_str(),
                         std::strerror(errno));
            slot->machine->Stop();
            m_status = kExitFailed;
            return;
        }
        m_slots.push_back(std::move(slot));
    }

    void Forget(Slot& slot) {
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, slot.machine->WakeHandle(), nullptr);
        slot.machine->Stop();
    }

    static void Wake(Slot& slot) {
        if (std::exchange(slot.parked, false)) slot.machine->Unpark();
        slot.due = true;
    }

    // One wait for every machine, the signals and the earliest deadline;
    // false once a signal ends the service.
    bool Wait() {
        std::optional<Clock::time_point> earliest;
        bool runNow = false;
        for (auto& slot : m_slots) {
            if (!slot->parked && !slot->due) {  // it ran: it parks again
                if (!slot->machine->Park()) {
                    slot->due = true;  // a message waits: only a look for a signal
                } else {
                    slot->parked = true;
                    slot->deadline = slot->machine->Deadline();
                }
            }
            if (slot->due) runNow = true;
            else if (slot->deadline && (!earliest || *slot->deadline < *earliest)) earliest = slot->deadline;
        }
        int timeoutMs = runNow ? 0 : -1;
        if (earliest && !runNow) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*earliest - Clock::now()).count();
            timeoutMs = static_cast<int>(std::clamp<int64_t>(left, 0, 60 * 60 * 1000));
        }
        m_ready.resize(m_slots.size() + 1);
        const int ready = epoll_wait(m_epoll, m_ready.data(), static_cast<int>(m_ready.size()), timeoutMs);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "quorlin-cli serve: epoll_wait: %s\n", std::strerror(errno));
            m_status = kExitFailed;
            return false;
        }
        bool signalled = false;
        for (int i = 0; i < ready; ++i) {
            auto* slot = static_cast<Slot*>(m_ready[static_cast<size_t>(i)].data.ptr);
            if (!slot) {
                signalled = true;
                continue;
            }
            slot->machine->TakeWake();
            Wake(*slot);
        }
        const auto soon = Clock::now() + kDeadlineSlack;
        for (auto& slot : m_slots)
            if (slot->parked && slot->deadline && *slot->deadline <= soon) Wake(*slot);
        if (signalled) {
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
        std::vector<ServedMachineProfile> profiles = ReadServed(m_names, refused, missing);
        for (auto& slotPointer : m_slots) {
            Slot& slot = *slotPointer;
            const std::string& name = slot.machine->Name();
            auto found = std::find_if(profiles.begin(), profiles.end(), [&](const auto& p) { return p.machine.name == name; });
            const bool refusedNow = std::any_of(refused.begin(), refused.end(), [&](const auto& r) { return r.rfind(name + ": ", 0) == 0; });
            if (found == profiles.end()) {
                slot.remove = !refusedNow;  // a group that is wrong now keeps its machine as it was
                continue;
            }
            if (!SameProfile(*found, slot.machine->Profile())) slot.next = std::move(*found);
            profiles.erase(found);
        }
        for (ServedMachineProfile& profile : profiles) Add(std::move(profile));
        Replace();
    }

    // Stops the removed and changed machines whose lines are free.
    void Replace() {
        std::vector<ServedMachineProfile> anew;
        std::erase_if(m_slots, [&](std::unique_ptr<Slot>& slot) {
            if ((!slot->remove && !slot->next) || slot->machine->Busy()) return false;
            Forget(*slot);
            if (slot->next) anew.push_back(std::move(*slot->next));
            return true;
        });
        for (ServedMachineProfile& profile : anew) Add(std::move(profile));
    }

    // Every running transfer is cancelled with its own cancel; the SUBs that
    // tells the controllers go out on all lines at once, each bounded by its
    // line time and the port's margin (3 s), before the ports close.
    void Stop() {
        std::vector<std::future<void>> flushes;
        for (auto& slot : m_slots)
            if (slot->machine->Stop()) {
                ServedMachine* machine = slot->machine.get();
                flushes.push_back(std::async(std::launch::async, [machine] { machine->FlushPort(); }));
            }
        for (auto& flush : flushes) flush.wait();
        m_slots.clear();
        m_events.Drain(std::chrono::seconds(1));
    }

    const int m_signalFd;
    const std::chrono::milliseconds m_retry;
    const std::vector<std::string> m_names;
    LogOutput m_events{stdout};
    LogFiles m_logs;
    int m_epoll = -1;
    std::vector<std::unique_ptr<Slot>> m_slots;  // each where epoll's event for it points
    std::vector<epoll_event> m_ready;
    int m_status = kExitDone;
};

}  // namespace

int RunServe(const Args& argv) {
    ParsedArgs args;
    if (auto reason = ParseArgs(argv, {{"retry-ms", true}}, args)) return CommandLineError("serve", *reason);
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
    std::vector<ServedMachineProfile> profiles = ReadServed(args.Positional(), refused, missing);
    for (const std::string& name : missing)
        std::fprintf(stderr, "quorlin-cli serve: no machine %s in the profile ('quorlin-cli machines' lists them)\n",
                     name.c_str());
    if (!missing.empty() || profiles.empty()) {
        if (profiles.empty() && missing.empty())
            std::fprintf(stderr, "quorlin-cli serve: no machine to serve (see quorlin-cli serve --help)\n");
        close(signalFd);
        return kExitFailed;
    }
    const int status = ServeLoop(signalFd, std::chrono::milliseconds(retryMs), args.Positional()).Run(std::move(profiles));
    close(signalFd);
    return status;
}

}  // namespace quorlin::cli
