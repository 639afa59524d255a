// bench_serve: one `quorlin-cli serve` for a shop of machines.
//   N simulated controllers (default 32) on ptys of their own, paced at the
//   line rate, half at 9600 baud and half at 115200, across the Block and Xon
//   families. Each round, every controller at once sends a program (serve
//   stores it) and then asks for it back with a request (serve sends it);
//   several rounds. Checks that every program arrives byte for byte both
//   ways, and reports each line's use (the line time of the bytes over the
//   time they took on the simulated line's clock, and over the time the
//   simulator took to handle them), serve's processor time as a share of
//   one core and its peak memory. The floor beside serve is the simulators'
//   own processor time: they move the same bytes at the other ends of the
//   same lines.
// Usage: bench_serve [--machines N] [--rounds R] [--lines L]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <csignal>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Process.h"

namespace {

namespace fs = std::filesystem;
using quorlin::e2e::After;
using quorlin::e2e::IsolatedEnvironment;
using quorlin::e2e::Process;
using quorlin::e2e::Session;
using Clock = std::chrono::steady_clock;

struct Options {
    int machines = 32;
    int rounds = 3;
    int lines = 250;
};

// The families a machine of the shop is of, in turn: Echo (family 0) is left
// out, as it answers every character and so never fills its line.
constexpr int kFamilies[] = {1, 4, 3, 2};

struct Machine {
    std::string name;
    int family = 1;
    long baud = 9600;
    int bitsPerCharacter = 10;
    std::unique_ptr<Process> sim;
    std::size_t simSeen = 0;
    std::string logPath;
    std::size_t logSeen = 0;  // bytes of the log already looked at
};

// Each line's use over the transfers, in percent.
struct LineUse {
    std::vector<double> each;
    double lowest = 1e9;
    std::string lowestWhat;

    void Add(double use, const std::string& what) {
        each.push_back(use);
        if (use < lowest) {
            lowest = use;
            lowestWhat = what;
        }
    }
};

struct Tally {
    // On the simulated line's clock (the target), and by the times the
    // simulators handled the bytes, which also holds their own late wake-ups.
    LineUse onLine, handled;
    int transfers = 0;
    int mismatches = 0;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

long long Field(const std::string& line, const std::string& key) {
    const auto at = line.find(" " + key + " ");
    return at == std::string::npos ? -1 : std::atoll(line.c_str() + at + key.size() + 2);
}

std::string Word(const std::string& line, const std::string& key) {
    const auto at = line.find(" " + key + " ");
    if (at == std::string::npos) return "";
    const auto from = at + key.size() + 2;
    return line.substr(from, line.find(' ', from) - from);
}

// The program a machine punches in a round: numbered, with a first comment,
// LF line ends as a controller sends them, no spaces (a send leaves them out).
std::string Program(int number, int lines) {
    std::string text = "O" + std::to_string(number) + "\n(BENCH" + std::to_string(number) + ")\n";
    for (int i = 1; i <= lines; ++i)
        text += "N" + std::to_string(i) + "G01X" + std::to_string((i * 37) % 1000) + ".5Y" +
                std::to_string((i * 11) % 500) + "F300\n";
    return text + "M30\n";
}

// The program as the PC stores it: each line ended by CR LF.
std::string AsStored(const std::string& program) {
    std::string stored;
    for (const char c : program) stored += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return stored;
}

// The program as the controller takes it back: a Block family's send closes
// it with one more LF before the SUB.
std::string AsTakenBack(const std::string& program, int family) {
    return family == 4 ? program : program + "\n";
}

long PeakKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return false;
        const int value = std::atoi(argv[++i]);
        if (value <= 0) return false;
        if (option == "--machines") options.machines = value;
        else if (option == "--rounds") options.rounds = value;
        else if (option == "--lines") options.lines = value;
        else return false;
    }
    return options.machines <= 250;
}

class Shop {
public:
    Shop(const Options& options) : m_options(options) {
        char pattern[] = "/tmp/quorlin-serve-bench.XXXXXX";
        m_folder = mkdtemp(pattern);
        m_env = IsolatedEnvironment(m_folder);
        fs::create_directories(m_folder + "/ports");
        fs::create_directories(m_folder + "/config/Morvale CNC");
    }
    ~Shop() {
        if (m_serve && !m_serve->Exited()) {
            m_serve->Signal(SIGTERM);
            m_session.WaitForExit(*m_serve, After());
        }
        for (auto& machine : m_machines) {
            machine.sim->WriteLine("quit");
            machine.sim->CloseInput();
            m_session.WaitForExit(*machine.sim, After());
        }
        std::error_code ignored;
        if (!std::getenv("BENCH_KEEP")) fs::remove_all(m_folder, ignored);
    }

    bool Start() {
        std::string profile = "[Prop]\nCommPort=0\nSysType=1\n\n";
        for (int i = 1; i <= m_options.machines; ++i) {
            Machine machine;
            machine.name = "M" + std::to_string(i);
            machine.family = kFamilies[(i - 1) % 4];
            const bool fast = i % 2 == 0;
            const std::string home = m_folder + "/" + machine.name;
            fs::create_directories(home + "/in");
            fs::create_directories(home + "/store");
            machine.logPath = home + "/serve.log";
            if (!m_session.WatchFolder(home)) return Fail("cannot watch " + home);
            std::vector<std::string> argv{QUORLIN_SIM_PATH, "--family", std::to_string(machine.family), "--com",
                                          std::to_string(i), "--store", home + "/store", "--pace"};
            machine.sim = std::make_unique<Process>(argv, m_env, "sim " + machine.name);
            m_session.Add(*machine.sim);
            const auto ready = m_session.WaitForLine(*machine.sim, "ready COM", machine.simSeen, After());
            if (!ready) return Fail(machine.name + ": the simulator did not start\n" + machine.sim->Err());
            const std::string line = Word(*ready, "line");  // BAUD,P,D,S
            int data = 8, stop = 1;
            char parity = 'n';
            long baud = 0;
            if (std::sscanf(line.c_str(), "%ld,%c,%d,%d", &baud, &parity, &data, &stop) != 4)
                return Fail(machine.name + ": no line settings in \"" + *ready + "\"");
            machine.baud = baud;
            machine.bitsPerCharacter = 1 + data + (parity == 'n' ? 0 : 1) + stop;
            if (fast) {
                // The family's character format at the faster rate: a line
                // that carries twelve times the bytes to the same process.
                // (On a pty the rate the PC sets does not limit it.)
                machine.baud = 115200;
                machine.sim->WriteLine("line 115200," + std::string(1, parity) + "," + std::to_string(data) + "," +
                                       std::to_string(stop));
            }
            profile += "[Machine." + machine.name + "]\nPort=COM" + std::to_string(i) +
                       "\nFamily=" + std::to_string(machine.family) + "\nReceiveFolder=" + home +
                       "/in\nSendFolders=" + home + "/in\nRequestDelay=0.2\nLogFile=" + machine.logPath + "\n\n";
            m_machines.push_back(std::move(machine));
        }
        std::ofstream(m_folder + "/config/Morvale CNC/Quorlin.conf") << profile;
        m_serve = std::make_unique<Process>(std::vector<std::string>{QUORLIN_CLI_PATH, "serve"}, m_env, "serve");
        m_session.Add(*m_serve);
        for (const auto& machine : m_machines)
            if (!ServeSays(machine.name + ": serving ")) return false;
        return true;
    }

    // One round: every controller sends its program, then asks for it back.
    bool Round(int round, Tally& tally) {
        std::vector<std::string> programs;
        for (std::size_t m = 0; m < m_machines.size(); ++m) {
            const int number = 1000 + static_cast<int>(m) * 10 + round;
            programs.push_back(Program(number, m_options.lines));
            const std::string source = m_folder + "/" + m_machines[m].name + "/punched.nc";
            std::ofstream(source, std::ios::binary) << programs.back();
            m_machines[m].sim->WriteLine("send " + source);
        }
        for (std::size_t m = 0; m < m_machines.size(); ++m) {
            Machine& machine = m_machines[m];
            const auto sent = m_session.WaitForLine(*machine.sim, "sent program", machine.simSeen, After(Patience()));
            if (!sent) return Fail(machine.name + ": the controller did not finish sending\n" + machine.sim->Out());
            Count(tally, machine, "to the PC", Field(*sent, "bytes"), Field(*sent, "line-us"), Field(*sent, "elapsed-us"));
            const int number = 1000 + static_cast<int>(m) * 10 + round;
            if (!ServeSays(machine.name + ": stored ")) return false;
            const std::string stored = ReadFile(m_folder + "/" + machine.name + "/in/O" + std::to_string(number) + ".nc");
            if (stored != AsStored(programs[m])) {
                ++tally.mismatches;
                std::fprintf(stderr, "%s: stored O%d differs from what the controller sent (%zu bytes, %zu expected)\n",
                             machine.name.c_str(), number, stored.size(), AsStored(programs[m]).size());
            }
        }
        for (std::size_t m = 0; m < m_machines.size(); ++m) {
            const int number = 1000 + static_cast<int>(m) * 10 + round;
            const std::string request = m_folder + "/" + m_machines[m].name + "/request.nc";
            std::ofstream(request, std::ios::binary) << "O9999\r\n(REQ O" << number << ")\r\nM30\r\n";
            m_machines[m].sim->WriteLine("send " + request);
        }
        for (auto& machine : m_machines)
            if (!ServeSays(machine.name + ": requested ")) return false;
        // An Xon controller asks for the program with DC1 once the PC's send
        // has begun (the send clears the line's input first): when its log
        // says so.
        for (auto& machine : m_machines)
            if (machine.family == 4) {
                if (!LogSays(machine, "Begin to send file")) return Fail(machine.name + ": the send did not begin");
                machine.sim->WriteLine("take");
            }
        for (std::size_t m = 0; m < m_machines.size(); ++m) {
            Machine& machine = m_machines[m];
            const auto stored =
                m_session.WaitForLine(*machine.sim, "stored program", machine.simSeen, After(Patience()));
            if (!stored) return Fail(machine.name + ": the controller did not take the program\n" + machine.sim->Out());
            Count(tally, machine, "to the controller", Field(*stored, "received"), Field(*stored, "line-us"),
                  Field(*stored, "elapsed-us"));
            if (ReadFile(Word(*stored, "program")) != AsTakenBack(programs[m], machine.family)) {
                ++tally.mismatches;
                std::fprintf(stderr, "%s: the program the controller took back differs from the one it sent\n",
                             machine.name.c_str());
            }
            if (!ServeSays(machine.name + ": sent ")) return false;
        }
        return true;
    }

    pid_t ServePid() const { return m_serve->Pid(); }
    double SimulatorSeconds() const {
        double seconds = 0;
        for (const auto& machine : m_machines) seconds += quorlin::e2e::ProcessorSeconds(machine.sim->Pid());
        return seconds;
    }
    long SimulatorPeakKilobytes() const {
        long peak = 0;
        for (const auto& machine : m_machines) peak = std::max(peak, PeakKilobytes(machine.sim->Pid()));
        return peak;
    }
    bool ServeFailed() const { return m_serve->Out().find(": failed ") != std::string::npos; }

private:
    // Long enough for the slowest line to carry a program, with room for a
    // loaded machine.
    std::chrono::seconds Patience() const {
        return std::chrono::seconds(30 + m_options.lines * 40 * 10 / 9600 * 3);
    }

    bool ServeSays(const std::string& text) {
        if (m_session.WaitForLine(*m_serve, text, m_serveSeen.try_emplace(text.substr(0, text.find(':')), 0).first->second,
                                  After(Patience())))
            return true;
        return Fail("serve did not say \"" + text + "\"\n" + m_serve->Out() + m_serve->Err());
    }

    // Waits until the machine's log file shows text beyond what was looked at.
    bool LogSays(Machine& machine, const std::string& text) {
        return m_session.WaitUntil(
            [&] {
                const std::string log = ReadFile(machine.logPath);
                const auto at = log.find(text, machine.logSeen);
                if (at == std::string::npos) return false;
                machine.logSeen = at + text.size();
                return true;
            },
            After(Patience()));
    }

    void Count(Tally& tally, const Machine& machine, const char* way, long long bytes, long long onLineUs,
               long long handledUs) {
        ++tally.transfers;
        if (bytes <= 1 || onLineUs <= 0 || handledUs <= 0) return;
        // The first character's time is not in the elapsed time: it is the
        // time from the first to the last.
        const double lineUs = static_cast<double>(bytes - 1) * machine.bitsPerCharacter * 1e6 / machine.baud;
        const std::string what = machine.name + " (family " + std::to_string(machine.family) + ", " +
                                 std::to_string(machine.baud) + " baud) " + way + ", " + std::to_string(bytes) + " bytes";
        tally.onLine.Add(100.0 * lineUs / static_cast<double>(onLineUs), what);
        tally.handled.Add(100.0 * lineUs / static_cast<double>(handledUs), what);
    }

    bool Fail(const std::string& why) {
        std::fprintf(stderr, "bench_serve: %s\n", why.c_str());
        return false;
    }

    Options m_options;
    std::string m_folder;
    std::vector<std::string> m_env;
    std::vector<Machine> m_machines;
    std::unique_ptr<Process> m_serve;
    std::map<std::string, std::size_t> m_serveSeen;  // per machine: serve's output looked at
    Session m_session;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: bench_serve [--machines N (1-250)] [--rounds R] [--lines L]\n");
        return 2;
    }
    Shop shop(options);
    if (!shop.Start()) return 1;
    const double serveBefore = quorlin::e2e::ProcessorSeconds(shop.ServePid());
    const double simsBefore = shop.SimulatorSeconds();
    const auto start = Clock::now();
    Tally tally;
    for (int round = 1; round <= options.rounds; ++round) {
        const auto roundStart = Clock::now();
        if (!shop.Round(round, tally)) return 1;
        std::printf("round %d: %.1f s\n", round, std::chrono::duration<double>(Clock::now() - roundStart).count());
        std::fflush(stdout);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double serveCpu = quorlin::e2e::ProcessorSeconds(shop.ServePid()) - serveBefore;
    const double simsCpu = shop.SimulatorSeconds() - simsBefore;
    const long servePeak = PeakKilobytes(shop.ServePid());

    std::printf("machines %d, rounds %d, %d transfers, %d not byte-exact%s\n", options.machines, options.rounds,
                tally.transfers, tally.mismatches, shop.ServeFailed() ? ", serve reported a failure" : "");
    const auto report = [](const char* how, const LineUse& use, const char* target) {
        const auto below = std::count_if(use.each.begin(), use.each.end(), [](double each) { return each < 99.0; });
        std::printf("line use %s: lowest %.2f %% (%s), median %.2f %%, %zu of %zu below 99 %%%s\n", how,
                    Percentile(use.each, 0.0), use.lowestWhat.c_str(), Percentile(use.each, 0.5),
                    static_cast<std::size_t>(below), use.each.size(), target);
    };
    report("on the line's clock", tally.onLine, " (target: at least 99 %)");
    report("as the simulators handled the bytes", tally.handled, "");
    std::printf("serve: %.1f s of processor in %.1f s: %.1f %% of one core (target: at most 25 %%)\n", serveCpu, wall,
                100.0 * serveCpu / wall);
    std::printf("floor, the %d simulators together: %.1f s of processor: %.1f %% of one core; serve / floor %.2f\n",
                options.machines, simsCpu, 100.0 * simsCpu / wall, simsCpu > 0 ? serveCpu / simsCpu : 0.0);
    std::printf("serve's peak memory: %.1f MB (target: at most 64 MB); one simulator's: %.1f MB\n",
                static_cast<double>(servePeak) / 1024.0, static_cast<double>(shop.SimulatorPeakKilobytes()) / 1024.0);
    const bool met = tally.mismatches == 0 && !shop.ServeFailed() && Percentile(tally.onLine.each, 0.0) >= 99.0 &&
                     serveCpu / wall <= 0.25 && servePeak <= 64 * 1024;
    std::printf("%s\n", met ? "targets met" : "targets NOT met");
    return met ? 0 : 1;
}
