#pragma once
// The user's machine for the soak: one ports folder, one profile folder and
// one simulated controller per family (family F on COM<F+1>), all reused
// from transfer to transfer. A simulator is started again, on the same port
// number, only when a fault made its line vanish or left it in doubt.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/soak/SoakPlan.h"
#include "tests/support/Process.h"

namespace quorlin::soak {

using Millis = std::chrono::milliseconds;

enum class Outcome { Completed, Cancelled, IdleTimeOut, LineLost, Hang, Other };
inline constexpr int kOutcomeCount = 6;
const char* OutcomeName(Outcome outcome);

struct Result {
    bool passed = true;
    std::string why;  // the first check that failed
    Outcome outcome = Outcome::Other;
    int exitStatus = -1;
    Millis duration{};  // quorlin-cli's start to its end
    // From the fault striking (the signal sent, the stall or loss reported
    // by the controller) to the tool's end; negative when it did not strike.
    Millis faultToExit{-1};
    std::size_t bytesCompared = 0;
    std::string log;  // everything needed to understand a failure
};

struct ProcessSample {
    int pid = 0;
    int descriptors = 0;
    long rssKiB = 0;
};
ProcessSample SampleProcess(int pid);

// One simulator process from its warm-up to its end (a lost line ends it).
struct SimLife {
    int family = 0;
    std::uint64_t transfers = 0;
    ProcessSample warm;
    ProcessSample end;
};

class Rig {
public:
    Rig(std::string cliPath, std::string simPath, std::string root);
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // Starts every family's simulator; false (with `error`) when one did not.
    bool StartAll(std::string& error);
    Result Run(const Plan& plan);

    // The simulators now running, family by family (pid 0: none).
    std::vector<ProcessSample> SampleSimulators() const;
    int SimulatorRestarts() const { return restarts_; }
    // Each family's longest-lived simulator so far (the running ones
    // sampled now).
    std::vector<SimLife> LongestLives();

private:
    struct Sim;
    Sim* EnsureSim(int family, std::string& error);
    void StopSim(Sim& sim);
    void NoteLife(Sim& sim);
    std::vector<std::string> Environment() const;

    std::string cliPath_;
    std::string simPath_;
    std::string root_;
    e2e::Session session_;
    std::vector<std::unique_ptr<Sim>> sims_;
    int restarts_ = 0;
    std::array<SimLife, 5> longestLives_{};
};

}  // namespace quorlin::soak
