#pragma once
// How a transfer ended, judged against the fault it was given: the exit
// status and the log line each end calls for, and the time the tool took
// once the fault struck.

#include <optional>
#include <string>
#include <vector>

#include "bench/soak/SoakPlan.h"
#include "bench/soak/SoakRig.h"

namespace quorlin::soak {

struct Ending {
    int exitStatus = -1;
    bool hung = false;               // the watchdog killed the tool
    std::optional<Millis> faultToExit;  // set when the fault struck
    const std::string& out;          // the tool's log on standard output
    const std::string& err;          // its messages
};

// The outcome; every check it fails is added to `failures`.
Outcome Judge(const Plan& plan, const Ending& ending, std::vector<std::string>& failures);

}  // namespace quorlin::soak
