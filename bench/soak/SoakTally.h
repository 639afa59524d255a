#pragma once
// The soak's figures: transfers by family and kind against the fault
// injected, outcomes, bytes compared, failures, and durations per fault
// against the bound the tool promises.

#include <array>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>

#include "bench/soak/SoakPlan.h"
#include "bench/soak/SoakRig.h"

namespace quorlin::soak {

class Tally {
public:
    void Add(const Plan& plan, const Result& result);
    void Print(std::ostream& out) const;

    std::uint64_t Transfers() const { return transfers_; }
    std::uint64_t Failures() const { return failures_; }

private:
    struct Cell {
        std::uint64_t count = 0;
        std::uint64_t failed = 0;
    };
    struct PerFault {
        std::uint64_t count = 0;
        std::uint64_t failed = 0;
        std::array<std::uint64_t, kOutcomeCount> outcomes{};
        std::int64_t maxMs = 0;
        std::uint64_t slowest = 0;  // the index of the longest transfer
        std::int64_t totalMs = 0;
        std::uint64_t struck = 0;  // transfers the fault ended
        std::int64_t maxFaultMs = 0;
        std::int64_t totalFaultMs = 0;
        std::int64_t boundMs = 0;  // the largest bound of the fault seen
    };
    std::map<std::string, std::array<Cell, kFaultCount>> rows_;
    std::array<PerFault, kFaultCount> faults_{};
    std::uint64_t transfers_ = 0;
    std::uint64_t failures_ = 0;
    std::uint64_t bytesCompared_ = 0;
    std::uint64_t hangs_ = 0;
};

}  // namespace quorlin::soak
