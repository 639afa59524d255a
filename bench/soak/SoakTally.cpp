#include "bench/soak/SoakTally.h"

#include <algorithm>
#include <iomanip>

namespace quorlin::soak {

void Tally::Add(const Plan& plan, const Result& result) {
    ++transfers_;
    Cell& cell = rows_[plan.Row()][static_cast<int>(plan.fault)];
    ++cell.count;
    PerFault& fault = faults_[static_cast<int>(plan.fault)];
    ++fault.count;
    ++fault.outcomes[static_cast<int>(result.outcome)];
    if (result.duration.count() >= fault.maxMs) {
        fault.maxMs = result.duration.count();
        fault.slowest = plan.index;
    }
    fault.totalMs += result.duration.count();
    // The fault's own time counts only where the fault ended the transfer.
    if (result.faultToExit.count() >= 0 && result.outcome != Outcome::Completed) {
        ++fault.struck;
        fault.maxFaultMs = std::max<std::int64_t>(fault.maxFaultMs, result.faultToExit.count());
        fault.totalFaultMs += result.faultToExit.count();
    }
    fault.boundMs = std::max<std::int64_t>(fault.boundMs, FaultBound(plan).count());
    bytesCompared_ += result.bytesCompared;
    if (result.outcome == Outcome::Hang) ++hangs_;
    if (!result.passed) {
        ++failures_;
        ++cell.failed;
        ++fault.failed;
    }
}

void Tally::Print(std::ostream& out) const {
    out << "\nTransfers by family and kind (columns: fault; a cell is count, or count/failed)\n";
    out << std::left << std::setw(12) << "" << std::right;
    for (int f = 0; f < kFaultCount; ++f) out << std::setw(14) << FaultName(static_cast<Fault>(f));
    out << std::setw(8) << "total\n";
    for (const auto& [row, cells] : rows_) {
        out << std::left << std::setw(12) << row << std::right;
        std::uint64_t total = 0;
        for (const Cell& cell : cells) {
            std::string text = std::to_string(cell.count);
            if (cell.failed) text += "/" + std::to_string(cell.failed);
            out << std::setw(14) << text;
            total += cell.count;
        }
        out << std::setw(7) << total << "\n";
    }

    out << "\nPer fault: outcomes; duration of the transfer; time from the fault to the tool's end, "
           "where the fault ended it, against its bound\n";
    out << std::left << std::setw(14) << "fault" << std::right << std::setw(7) << "count" << std::setw(7) << "fail";
    for (int o = 0; o < kOutcomeCount; ++o) out << std::setw(13) << OutcomeName(static_cast<Outcome>(o));
    out << std::setw(10) << "max ms" << std::setw(10) << "mean ms" << std::setw(10) << "ended" << std::setw(12)
        << "max ms" << std::setw(10) << "mean ms" << std::setw(10) << "bound" << std::setw(10) << "slowest\n";
    for (int f = 0; f < kFaultCount; ++f) {
        const PerFault& fault = faults_[f];
        if (fault.count == 0) continue;
        out << std::left << std::setw(14) << FaultName(static_cast<Fault>(f)) << std::right << std::setw(7)
            << fault.count << std::setw(7) << fault.failed;
        for (const auto count : fault.outcomes) out << std::setw(13) << count;
        out << std::setw(10) << fault.maxMs << std::setw(10) << fault.totalMs / static_cast<std::int64_t>(fault.count)
            << std::setw(10) << fault.struck;
        if (fault.struck)
            out << std::setw(12) << fault.maxFaultMs << std::setw(10)
                << fault.totalFaultMs / static_cast<std::int64_t>(fault.struck);
        else
            out << std::setw(12) << "-" << std::setw(10) << "-";
        out << std::setw(10) << fault.boundMs << std::setw(10) << fault.slowest << "\n";
    }
    out << "\ntransfers " << transfers_ << ", failures " << failures_ << ", hangs " << hangs_ << ", bytes compared "
        << bytesCompared_ << "\n";
}

}  // namespace quorlin::soak
