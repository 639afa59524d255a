// quorlin-soak: transfers through quorlin-sim, one after another on the same
// ports and profile folders, each with a random fault or none, checked
// byte for byte and against the time the tool promises; the processes,
// descriptors and memory of the run are compared at its start and end.
// A failure's log is kept for replay by seed and index.

#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include "bench/soak/SoakPlan.h"
#include "bench/soak/SoakRig.h"
#include "bench/soak/SoakTally.h"

namespace {

namespace fs = std::filesystem;
using namespace quorlin::soak;
using Clock = std::chrono::steady_clock;

constexpr const char* kUsage = R"(usage: quorlin-soak [OPTIONS]

Runs transfers of every family, transfer kind and download kind through
quorlin-sim, each with a random fault (DC3/DC1, noise, split answers,
stalls, Ctrl+C, a vanishing line) or none, and checks each.
  --count N      transfers to run (default 200)
  --seconds S    stop starting transfers after S seconds (default: no limit)
  --seed X       the run's seed (default: from the clock; printed)
  --replay I     run only transfer I of the seed, and print its log
  --out DIR      where failure logs and the summary go
                 (default /tmp/quorlin-soak-SEED)
  --cli PATH     quorlin-cli to test;  --sim PATH  quorlin-sim to use
  --quiet        no progress lines
Exit status: 0 when every transfer passed and nothing grew, 1 otherwise,
2 for a usage error.
)";

// Memory may grow while allocators and caches warm up; beyond this it is
// a leak. Descriptors and processes must come back to their count exactly.
constexpr long kRssSlackKiB = 2048;
constexpr long kRssSlackPercent = 25;
constexpr std::uint64_t kWarmUpTransfers = 50;
constexpr std::uint64_t kProgressEvery = 100;

volatile std::sig_atomic_t stopRequested = 0;
void RequestStop(int) { stopRequested = 1; }

bool ParseNumber(const char* text, std::uint64_t& value) {
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    return error == std::errc() && end == view.data() + view.size() && !view.empty();
}

// The driver's children, running or not yet reaped.
int CountChildren() {
    int children = 0;
    const std::string self = std::to_string(getpid());
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
        std::ifstream stat(it->path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        std::string state, parent;
        rest >> state >> parent;
        if (parent == self) ++children;
    }
    return children;
}

struct Resources {
    ProcessSample driver;
    int children = 0;
    std::vector<ProcessSample> sims;
};

Resources Sample(const Rig& rig) { return Resources{SampleProcess(getpid()), CountChildren(), rig.SampleSimulators()}; }


void PrintResources(std::ostream& out, const char* when, const Resources& r) {
    out << std::left << std::setw(8) << when << std::right << " driver fds " << r.driver.descriptors << " rss "
        << r.driver.rssKiB << " KiB; children " << r.children << "; simulators (pid fds rss KiB):";
    for (const auto& sim : r.sims) out << "  " << sim.pid << " " << sim.descriptors << " " << sim.rssKiB;
    out << "\n";
}

bool RssGrew(long from, long to) { return to > from + std::max(kRssSlackKiB, from * kRssSlackPercent / 100); }

// What grew: the driver's descriptors and processes from `start`, its
// memory from `warm`; each simulator's over its longest life.
std::string Growth(const Resources& start, const Resources& warm, const Resources& end,
                   const std::vector<SimLife>& lives) {
    std::string growth;
    if (end.driver.descriptors != start.driver.descriptors) growth += " driver descriptors;";
    if (end.children != start.children) growth += " child processes;";
    if (RssGrew(warm.driver.rssKiB, end.driver.rssKiB)) growth += " driver memory;";
    for (const auto& life : lives) {
        if (life.transfers == 0) continue;
        if (life.end.descriptors > life.warm.descriptors)
            growth += " family " + std::to_string(life.family) + " simulator descriptors;";
        if (RssGrew(life.warm.rssKiB, life.end.rssKiB))
            growth += " family " + std::to_string(life.family) + " simulator memory;";
    }
    return growth;
}

void PrintLives(std::ostream& out, const std::vector<SimLife>& lives) {
    out << "simulators' longest lives (after their warm-up):\n";
    for (const auto& life : lives) {
        out << "  family " << life.family << ": ";
        if (life.transfers == 0) {
            out << "none long enough\n";
            continue;
        }
        out << life.transfers << " transfers, fds " << life.warm.descriptors << " -> " << life.end.descriptors
            << ", rss " << life.warm.rssKiB << " -> " << life.end.rssKiB << " KiB\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t count = 200, seconds = 0, seed = 0, replay = 0;
    bool haveSeed = false, haveReplay = false, quiet = false;
    std::string out, cli = QUORLIN_CLI_PATH, sim = QUORLIN_SIM_PATH;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (option == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (option == "--quiet") {
            quiet = true;
            continue;
        } else if (!value) {
            ok = false;
        } else if (option == "--count") {
            ok = ParseNumber(value, count);
        } else if (option == "--seconds") {
            ok = ParseNumber(value, seconds);
        } else if (option == "--seed") {
            ok = haveSeed = ParseNumber(value, seed);
        } else if (option == "--replay") {
            ok = haveReplay = ParseNumber(value, replay);
        } else if (option == "--out") {
            out = value;
        } else if (option == "--cli") {
            cli = value;
        } else if (option == "--sim") {
            sim = value;
        } else {
            ok = false;
        }
        if (!ok) {
            std::cerr << "quorlin-soak: bad option " << option << "\n" << kUsage;
            return 2;
        }
        ++i;
    }
    if (!haveSeed) seed = std::random_device{}() ^ static_cast<std::uint64_t>(Clock::now().time_since_epoch().count());
    if (out.empty()) out = "/tmp/quorlin-soak-" + std::to_string(seed);
    fs::create_directories(out);

    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    char pattern[] = "/tmp/quorlin-soak-machine.XXXXXX";
    if (!mkdtemp(pattern)) {
        std::cerr << "quorlin-soak: cannot make a folder in /tmp\n";
        return 1;
    }
    const std::string root = pattern;
    int status = 0;
    {
        Rig rig(cli, sim, root);
        std::string error;
        if (!rig.StartAll(error)) {
            std::cerr << "quorlin-soak: " << error << "\n";
            return 1;
        }
        if (haveReplay) {
            const Plan plan = MakePlan(seed, replay);
            const Result result = rig.Run(plan);
            std::cout << result.log << (result.passed ? "PASSED\n" : "FAILED: " + result.why + "\n");
            std::ofstream(out + "/replay-" + std::to_string(replay) + ".log") << result.log;
            return result.passed ? 0 : 1;
        }

        std::cout << "quorlin-soak: seed " << seed << ", up to " << count << " transfers"
                  << (seconds ? ", " + std::to_string(seconds) + " s" : std::string()) << ", logs in " << out
                  << "\n" << std::flush;
        Tally tally;
        const Resources start = Sample(rig);
        Resources warm = start;
        const auto began = Clock::now();
        std::uint64_t index = 0;
        for (; index < count && !stopRequested; ++index) {
            if (seconds && Clock::now() - began >= std::chrono::seconds(seconds)) break;
            const Plan plan = MakePlan(seed, index);
            const Result result = rig.Run(plan);
            if (stopRequested) break;  // the interrupt reached the children too: no verdict
            tally.Add(plan, result);
            if (!result.passed) {
                std::ofstream(out + "/failure-" + std::to_string(index) + ".log")
                    << result.log << "replay: quorlin-soak --seed " << seed << " --replay " << index << "\n";
                std::cout << "FAILED " << plan.Describe() << ": " << result.why << "\n" << std::flush;
            }
            if (index + 1 == std::min(kWarmUpTransfers, count)) warm = Sample(rig);
            if (!quiet && (index + 1) % kProgressEvery == 0)
                std::cout << "  " << index + 1 << " transfers, " << tally.Failures() << " failed, "
                          << std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - began).count() << " s\n"
                          << std::flush;
        }
        const Resources end = Sample(rig);
        const double elapsed = std::chrono::duration<double>(Clock::now() - began).count();

        std::ostringstream summary;
        summary << "seed " << seed << ": " << tally.Transfers() << " transfers in " << std::fixed
                << std::setprecision(1) << elapsed << " s (" << tally.Transfers() / std::max(elapsed, 1e-3)
                << " a second), " << rig.SimulatorRestarts() << " simulator restarts\n";
        tally.Print(summary);
        summary << "\nResources (memory is compared from the warm-up on)\n";
        PrintResources(summary, "start", start);
        PrintResources(summary, "warm-up", warm);
        PrintResources(summary, "end", end);
        const auto lives = rig.LongestLives();
        PrintLives(summary, lives);
        const std::string growth = Growth(start, warm, end, lives);
        summary << (growth.empty() ? "no growth\n" : "GREW:" + growth + "\n");
        std::cout << summary.str();
        std::ofstream(out + "/summary.txt") << summary.str();
        if (tally.Failures() > 0 || !growth.empty()) status = 1;
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return status;
}
