#include "bench/soak/SoakVerdict.h"

namespace quorlin::soak {

namespace {

const std::string kSendCompleted = "   File sending completed\r\n";
const std::string kReceiveCompleted = "   File receiving completed\r\n";
const std::string kSendCancelled = "   File sending cancelled\r\n";
const std::string kReceiveCancelled = "   File receiving cancelled\r\n";
const std::string kPortLost = "Transfer stopped: the serial port was lost\r\n";
const std::string kSendStopped = "   File sending stopped by the controller (DC3)\r\n";

constexpr int kExitCompleted = 0;
constexpr int kExitError = 1;
constexpr int kExitIdleTimeOut = 3;
constexpr int kExitCancelled = 130;  // also the status of an end by SIGINT

// A log line as a person reads it: without its blanks and CR LF.
std::string Quoted(const std::string& line) {
    const std::size_t from = line.find_first_not_of(' ');
    return "\"" + line.substr(from, line.size() - from - 2) + "\"";
}

}  // namespace

Outcome Judge(const Plan& plan, const Ending& ending, std::vector<std::string>& failures) {
    auto printed = [&](const std::string& line) { return ending.out.find(line) != std::string::npos; };
    auto fail = [&](const std::string& why) { failures.push_back(why); };
    const bool isReceive = plan.kind == Kind::Receive;
    const bool vanish = plan.fault == Fault::VanishClose || plan.fault == Fault::VanishHangUp;
    const std::string& completed = isReceive ? kReceiveCompleted : kSendCompleted;
    const std::string& cancelled = isReceive ? kReceiveCancelled : kSendCancelled;
    const int status = ending.exitStatus;
    if (ending.hung) return Outcome::Hang;

    Outcome outcome;
    // Ctrl+C after the transfer completed, while the tool still hands the
    // controller its last bytes, ends the tool at once (by the signal).
    const bool completedThenInterrupted = status == kExitCancelled && plan.fault == Fault::CtrlC && printed(completed);
    if (status == kExitCompleted || completedThenInterrupted) {
        outcome = Outcome::Completed;
        // Completion needs a controller that played its part up to the end:
        // a loss or a stall may only come after the last byte left the PC,
        // when no answer was still due.
        const bool answersDue = plan.Blocks() || (plan.kind != Kind::Download && plan.family == 0);
        if ((vanish || plan.fault == Fault::Stall) && answersDue)
            fail("completed although the controller " + std::string(vanish ? "vanished" : "stalled"));
        if (!printed(completed)) fail("exit 0 without the log line " + Quoted(completed));
    } else if (status == kExitCancelled) {
        outcome = Outcome::Cancelled;
        if (plan.fault != Fault::CtrlC || !ending.faultToExit) fail("exit 130 without a Ctrl+C");
        if (!printed(cancelled)) fail("cancelled without the log line " + Quoted(cancelled));
    } else if (status == kExitIdleTimeOut) {
        outcome = Outcome::IdleTimeOut;
        if (plan.idleSeconds == 0) fail("idle time-out without --idle-timeout");
        if (!printed(cancelled)) fail("idle time-out without the log line " + Quoted(cancelled));
    } else if (status == kExitError && plan.XonStop() && printed(kSendStopped)) {
        // The controller's DC3 ended the send before its end: not completed.
        outcome = Outcome::Other;
    } else if (status == kExitError && vanish) {
        outcome = Outcome::LineLost;
        if (!printed(kPortLost)) fail("line lost without the log line " + Quoted("   " + kPortLost));
        if (ending.err.empty()) fail("line lost without a message on standard error");
    } else {
        outcome = Outcome::Other;
        fail("exit status " + std::to_string(status) + " does not fit the fault");
    }
    if (ending.faultToExit && outcome != Outcome::Completed && *ending.faultToExit > FaultBound(plan))
        fail("ended " + std::to_string(ending.faultToExit->count()) + " ms after the fault; the bound is " +
             std::to_string(FaultBound(plan).count()) + " ms");
    return outcome;
}

}  // namespace quorlin::soak
