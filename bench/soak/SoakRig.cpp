#include "bench/soak/SoakRig.h"

#include "bench/soak/SoakVerdict.h"

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>


namespace quorlin::soak {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// How long the simulator may take to answer a command, to start, and to
// notice that the tool closed the port. Only reached when something is
// wrong.
constexpr auto kSimAnswer = 10s;
constexpr auto kSimSettle = 10s;
constexpr auto kToolBegins = 10s;
// A simulator's figures are taken after this many transfers, when its
// allocations have settled, and compared with those at its end.
constexpr std::uint64_t kSimWarmUp = 5;


Millis Since(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<Millis>(to - from);
}

// The first whole line of `out` from `from` on that contains `text`.
std::optional<std::string> FindLine(const std::string& out, const std::string& text, std::size_t from = 0) {
    for (std::size_t end; (end = out.find('\n', from)) != std::string::npos; from = end + 1) {
        const std::string line = out.substr(from, end - from);
        if (line.find(text) != std::string::npos) return line;
    }
    return std::nullopt;
}

std::size_t CountLines(const std::string& out, const std::string& text) {
    std::size_t count = 0;
    for (std::size_t from = 0, end; (end = out.find('\n', from)) != std::string::npos; from = end + 1)
        if (out.compare(from, text.size(), text) == 0) ++count;
    return count;
}

// The path in "stored program PATH bytes ..." or "stored download PATH ...".
std::string StoredPath(const std::string& line) {
    std::istringstream words(line);
    std::string stored, what, path;
    words >> stored >> what >> path;
    return path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out.flush());
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Where two byte strings first differ, for the failure log.
std::string Difference(const std::string& expected, const std::string& got) {
    std::size_t at = 0;
    while (at < expected.size() && at < got.size() && expected[at] == got[at]) ++at;
    return "expected " + std::to_string(expected.size()) + " bytes, got " + std::to_string(got.size()) +
           ", first difference at byte " + std::to_string(at);
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
    static const char* const names[kOutcomeCount] = {"completed", "cancelled", "idle-timeout",
                                                     "line-lost", "hang",      "other"};
    return names[static_cast<int>(outcome)];
}

ProcessSample SampleProcess(int pid) {
    ProcessSample sample;
    sample.pid = pid;
    std::error_code error;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end; !error && it != end;
         it.increment(error))
        ++sample.descriptors;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) sample.rssKiB = std::atol(line.c_str() + 6);
    return sample;
}

// One family's simulator and what it reported during the current transfer.
struct Rig::Sim {
    int family = 0;
    std::unique_ptr<e2e::Process> process;
    std::size_t seen = 0;     // lines before this are dealt with
    std::size_t flushed = 0;  // output before this is in the transcript
    std::string transcript;   // commands ("> ...") and reports of this transfer
    bool doubtful = false;    // vanished, or left in a state the soak did not expect
    SimLife life;

    void Command(const std::string& line) {
        transcript += process->Out().substr(flushed);
        flushed = process->Out().size();
        transcript += "> " + line + "\n";
        process->WriteLine(line);
    }
    // Hands the transcript of the transfer over and starts the next one.
    std::string EndTranscript() {
        transcript += process->Out().substr(flushed);
        process->TakeOut();
        seen = flushed = 0;
        return std::exchange(transcript, std::string());
    }
};

Rig::Rig(std::string cliPath, std::string simPath, std::string root)
    : cliPath_(std::move(cliPath)), simPath_(std::move(simPath)), root_(std::move(root)) {
    for (const char* folder : {"ports", "config", "store", "work"}) fs::create_directories(root_ + "/" + folder);
    for (int family = 0; family <= 4; ++family) {
        sims_.push_back(std::make_unique<Sim>());
        sims_.back()->family = family;
        sims_.back()->life.family = family;
        longestLives_[family].family = family;
    }
}

Rig::~Rig() {
    for (auto& sim : sims_)
        if (sim->process) StopSim(*sim);
}

std::vector<std::string> Rig::Environment() const { return e2e::IsolatedEnvironment(root_); }

bool Rig::StartAll(std::string& error) {
    for (int family = 0; family <= 4; ++family)
        if (!EnsureSim(family, error)) return false;
    return true;
}

Rig::Sim* Rig::EnsureSim(int family, std::string& error) {
    Sim& sim = *sims_[family];
    if (sim.process && (sim.doubtful || sim.process->Exited())) {
        StopSim(sim);
        ++restarts_;
    }
    if (sim.process) return &sim;
    const std::string store = root_ + "/store/f" + std::to_string(family);
    fs::create_directories(store);
    sim.process = std::make_unique<e2e::Process>(
        std::vector<std::string>{simPath_, "--family", std::to_string(family), "--com", std::to_string(family + 1),
                                 "--store", store},
        Environment(), "quorlin-sim");
    sim.seen = sim.flushed = 0;
    sim.doubtful = false;
    session_.Add(*sim.process);
    if (!sim.process->Started() || !session_.WaitForLine(*sim.process, "ready COM", sim.seen, Clock::now() + kSimAnswer)) {
        error = "quorlin-sim for family " + std::to_string(family) + " did not start: " + sim.process->Err();
        StopSim(sim);
        return nullptr;
    }
    sim.EndTranscript();
    return &sim;
}

void Rig::NoteLife(Sim& sim) {
    if (sim.life.transfers <= kSimWarmUp || !sim.process || sim.process->Exited()) return;
    sim.life.end = SampleProcess(sim.process->Pid());
    SimLife& longest = longestLives_[sim.family];
    if (sim.life.transfers > longest.transfers) longest = sim.life;
}

std::vector<SimLife> Rig::LongestLives() {
    for (auto& sim : sims_) NoteLife(*sim);
    return std::vector<SimLife>(longestLives_.begin(), longestLives_.end());
}

void Rig::StopSim(Sim& sim) {
    NoteLife(sim);
    sim.life = SimLife{};
    sim.life.family = sim.family;
    sim.process->WriteLine("quit");
    sim.process->CloseInput();
    session_.WaitForExit(*sim.process, Clock::now() + kSimAnswer);
    session_.Remove(*sim.process);
    sim.process.reset();
}

std::vector<ProcessSample> Rig::SampleSimulators() const {
    std::vector<ProcessSample> samples;
    for (const auto& sim : sims_)
        samples.push_back(sim->process && !sim->process->Exited() ? SampleProcess(sim->process->Pid()) : ProcessSample{});
    return samples;
}

Result Rig::Run(const Plan& plan) {
    Result result;
    std::ostringstream log;
    log << plan.Describe() << "\n";
    auto fail = [&](const std::string& why) {
        if (result.passed) result.why = why;
        result.passed = false;
        log << "FAILED: " << why << "\n";
    };

    std::string error;
    Sim* simPointer = EnsureSim(plan.family, error);
    if (!simPointer) {
        fail(error);
        result.log = log.str();
        return result;
    }
    Sim& sim = *simPointer;
    e2e::Process& simProcess = *sim.process;

    auto simSays = [&](const std::string& command, const std::string& answer) {
        sim.Command(command);
        if (!session_.WaitForLine(simProcess, answer, sim.seen, Clock::now() + kSimAnswer))
            fail("quorlin-sim did not answer \"" + command + "\" with \"" + answer + "\"");
    };

    // The files of the transfer, in one work folder reused every time.
    const std::string work = root_ + "/work/";
    const std::string programPath = work + "program.nc";
    const std::string imagePath = work + "image.bin";
    const std::string receivedPath = work + "received.nc";
    std::error_code ignored;
    fs::remove(receivedPath, ignored);
    if (plan.kind == Kind::Download ? !WriteFile(imagePath, plan.file) : !WriteFile(programPath, plan.program))
        fail("cannot write the transfer's file in " + work);

    std::string trigger;
    switch (plan.fault) {
    case Fault::Xoff:
        trigger = "dc3 at " + std::to_string(plan.atByte) + " resume " + std::to_string(plan.resumeMs);
        break;
    case Fault::StrayXon: trigger = "dc1 at " + std::to_string(plan.atByte); break;
    case Fault::Stall: trigger = "stall at " + std::to_string(plan.atByte); break;
    case Fault::CtrlC: trigger = "mark at " + std::to_string(plan.atByte); break;
    case Fault::Noise:
        if (!plan.Blocks()) trigger = "mark at " + std::to_string(plan.atByte);
        break;
    case Fault::VanishClose: trigger = "vanish close at " + std::to_string(plan.atByte); break;
    case Fault::VanishHangUp: trigger = "vanish hangup at " + std::to_string(plan.atByte); break;
    default: break;
    }
    auto arm = [&] {
        if (!trigger.empty()) simSays(trigger, "armed ");
    };

    std::vector<std::string> argv{cliPath_};
    switch (plan.kind) {
    case Kind::Send:
        argv.push_back("send");
        if (plan.document) argv.push_back("--document");
        argv.push_back(programPath);
        arm();
        break;
    case Kind::Receive: argv.insert(argv.end(), {"receive", receivedPath}); break;
    case Kind::Download: {
        std::string expect = plan.Blocks() ? "expect download blocks answer " : "expect download stream";
        if (plan.Blocks()) expect += plan.answer11 ? "11" : "10";
        if (plan.Blocks() && !plan.noiseHex.empty()) expect += " noise " + plan.noiseHex;
        if (plan.fault == Fault::Split) expect += " split";
        simSays(expect, "expecting download");
        arm();
        argv.insert(argv.end(), {"download", "--kind", std::to_string(plan.downloadKind), imagePath});
        break;
    }
    }
    argv.insert(argv.end(), {"--port", std::to_string(plan.family + 1), "--family", std::to_string(plan.family),
                             "--baud-index", std::to_string(plan.baudIndex)});
    if (plan.idleSeconds > 0) argv.insert(argv.end(), {"--idle-timeout", std::to_string(plan.idleSeconds)});
    for (const auto& word : argv) log << word << " ";
    log << "\n";
    if (!result.passed) {  // the controller was not ready: the tool is not started
        sim.doubtful = true;
        log << "--- quorlin-sim (family " << plan.family << ") transcript\n" << sim.EndTranscript();
        result.log = log.str();
        return result;
    }

    const auto started = Clock::now();
    const auto watchdog = started + WatchdogBound(plan);
    e2e::Process cli(argv, Environment(), "quorlin-cli");
    session_.Add(cli);
    auto printed = [&](const std::string& text) { return cli.Out().find(text) != std::string::npos; };
    auto toolBegan = [&](const std::string& text) {
        if (!session_.WaitUntil([&] { return printed(text) || cli.Exited(); }, Clock::now() + kToolBegins) ||
            !printed(text))
            fail("quorlin-cli did not print \"" + text + "\"");
    };

    if (result.passed && plan.kind == Kind::Send && plan.family == 4) {
        toolBegan(plan.document ? "Begin to send current opened file" : "Begin to send file");
        if (result.passed) simSays("await pc-handshake none", "pc-handshake none");
        if (result.passed) simSays("take", "taking program");
    }
    if (result.passed && plan.kind == Kind::Receive) {
        toolBegan("Begin to receive file\r\n");
        if (result.passed && plan.family == 4) simSays("await pc-handshake none", "pc-handshake none");
        if (result.passed) arm();
        if (result.passed) simSays("send " + programPath, "sending program");
    }

    // The fault's moment: the controller reports it, the soak acts on it.
    std::string strikes;
    switch (plan.fault) {
    case Fault::CtrlC:
    case Fault::Noise: strikes = plan.Blocks() ? "" : "reached "; break;
    case Fault::Stall: strikes = "stalled at "; break;
    case Fault::VanishClose:
    case Fault::VanishHangUp: strikes = "vanished "; break;
    default: break;
    }
    std::optional<Clock::time_point> struck;
    bool hung = false;
    if (!result.passed) cli.Signal(SIGKILL);  // the scene could not be set: no verdict on the tool
    while (!cli.Exited()) {
        const bool ended = session_.WaitUntil(
            [&] {
                return cli.Exited() ||
                       (!struck && !strikes.empty() && FindLine(simProcess.Out(), strikes, sim.seen));
            },
            watchdog);
        if (!ended) {
            hung = true;
            break;
        }
        if (!struck && !strikes.empty() && FindLine(simProcess.Out(), strikes, sim.seen)) {
            struck = Clock::now();
            if (plan.fault == Fault::CtrlC) cli.Signal(SIGINT);
            if (plan.fault == Fault::Noise) sim.Command("noise " + plan.noiseHex);
        }
    }
    if (hung) {
        session_.WaitForExit(cli, Clock::now());  // kills it
        result.outcome = Outcome::Hang;
        fail("quorlin-cli did not end within " + std::to_string(WatchdogBound(plan).count()) +
             " ms; killed by the watchdog");
    }
    const auto ended = Clock::now();
    result.duration = Since(started, ended);
    result.exitStatus = cli.ExitStatus();
    if (struck) result.faultToExit = Since(*struck, ended);
    session_.Remove(cli);

    const std::string& out = cli.Out();
    const bool isReceive = plan.kind == Kind::Receive;
    const bool vanish = plan.fault == Fault::VanishClose || plan.fault == Fault::VanishHangUp;
    // The controller's side: the port closed by the tool, the controller
    // back to taking programs, nobody left on the line.
    if (!vanish && result.outcome != Outcome::Hang) {
        if (!session_.WaitUntil(
                [&] {
                    const std::string& said = simProcess.Out();
                    const std::size_t opened = CountLines(said, "port opened");
                    return opened > 0 && CountLines(said, "port closed") >= opened;
                },
                Clock::now() + kSimSettle))
            fail("quorlin-sim did not see the port closed");
        // What the PC wrote before it closed is taken first, then the
        // controller ends its side of the transfer.
        struct SimEnd {
            const char* began;
            std::vector<const char*> ends;
        };
        const SimEnd ending = plan.kind == Kind::Download ? SimEnd{"download started", {"stored download"}}
                              : isReceive ? SimEnd{"sending program", {"sent program", "send "}}
                                          : SimEnd{"program started", {"stored program", "program abandoned"}};
        if (FindLine(simProcess.Out(), ending.began) &&
            !session_.WaitUntil(
                [&] {
                    for (const char* end : ending.ends)
                        if (FindLine(simProcess.Out(), end, simProcess.Out().find(ending.began))) return true;
                    return false;
                },
                Clock::now() + kSimSettle))
            fail("quorlin-sim did not end its side of the transfer");
        // A download the PC never began leaves the controller expecting one.
        if (plan.kind == Kind::Download && !FindLine(simProcess.Out(), ending.began))
            simSays("expect program", "expecting program");
        sim.Command("status");
        std::size_t from = sim.seen;
        const auto status = session_.WaitForLine(simProcess, "status mode", from, Clock::now() + kSimAnswer);
        if (!status) fail("quorlin-sim did not report its status");
        else if (status->find("mode take-program ") == std::string::npos || status->find(" port-openers 0") == std::string::npos)
            fail("quorlin-sim was left in another state: " + *status);
    }

    // The tool's end, against what the fault allows.
    std::vector<std::string> failures;
    std::optional<Millis> faultToExit;
    if (struck) faultToExit = result.faultToExit;
    const Outcome judged = Judge(plan, Ending{result.exitStatus, hung, faultToExit, out, cli.Err()}, failures);
    if (result.outcome != Outcome::Hang) result.outcome = judged;
    for (const auto& why : failures) fail(why);
    const int status = result.exitStatus;

    // A completed transfer is byte-exact. (Where the line vanished, only a
    // receive has something to compare: the controller's store is gone.)
    std::string said = simProcess.Out();
    if (result.outcome == Outcome::Completed && (isReceive || !vanish)) {
        std::string expected, got;
        bool stopped = false;
        if (isReceive) {
            expected = WithCrLf(plan.program);
            got = ReadFile(receivedPath);
        } else {
            const auto stored = session_.WaitUntil(
                [&] {
                    return FindLine(simProcess.Out(), "stored ").has_value() ||
                           FindLine(simProcess.Out(), "program abandoned").has_value();
                },
                Clock::now() + kSimSettle);
            said = simProcess.Out();
            const auto storedLine = FindLine(said, "stored ");
            // The Xon controller's DC3 stopped the send: it keeps nothing.
            stopped = plan.XonStop() && !storedLine && FindLine(said, "sent DC3");
            if (!stored || (!storedLine && !stopped)) fail("the controller stored nothing");
            got = ReadFile(StoredPath(storedLine.value_or("")));
            expected = plan.kind == Kind::Download ? plan.image : plan.program;
            // A Block controller keeps the line end the PC sends before SUB.
            if (plan.kind == Kind::Send && plan.family >= 1 && plan.family <= 3) expected += '\n';
        }
        if (!stopped && got != expected) fail("bytes lost or changed: " + Difference(expected, got));
        if (!stopped) result.bytesCompared = expected.size();
    }
    // The controller's stored files are not kept: the store stays small.
    for (std::size_t from = 0, end; (end = said.find('\n', from)) != std::string::npos; from = end + 1)
        if (said.compare(from, 7, "stored ") == 0) fs::remove(StoredPath(said.substr(from, end - from)), ignored);

    // Built with a sanitizer, either tool may report a fault and still end
    // as expected.
    for (const char* mark : {"AddressSanitizer", "LeakSanitizer", "ThreadSanitizer", "runtime error:"})
        if (cli.Err().find(mark) != std::string::npos || simProcess.Err().find(mark) != std::string::npos)
            fail(std::string("a sanitizer reported: ") + mark);
    if (++sim.life.transfers == kSimWarmUp) sim.life.warm = SampleProcess(simProcess.Pid());
    if (vanish || !result.passed) sim.doubtful = true;
    log << "exit status " << status << ", " << OutcomeName(result.outcome) << ", " << result.duration.count() << " ms";
    if (struck) log << ", " << result.faultToExit.count() << " ms after the fault";
    log << "\n--- quorlin-cli standard output\n" << out << "\n--- quorlin-cli standard error\n" << cli.Err()
        << "\n--- quorlin-sim (family " << plan.family << ") transcript\n" << sim.EndTranscript()
        << "--- quorlin-sim standard error\n" << simProcess.Err() << "\n";
    result.log = log.str();
    return result;
}

}  // namespace quorlin::soak
