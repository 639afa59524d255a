#pragma once
// What one soak transfer does: the family, the transfer kind, the data and
// the fault injected. A plan depends only on the run's seed and the
// transfer's index, so any transfer can be replayed alone.

#include <chrono>
#include <cstdint>
#include <string>

namespace quorlin::soak {

enum class Kind { Send, Receive, Download };

enum class Fault {
    None,
    Xoff,          // DC3 at a random byte, DC1 some milliseconds later
    StrayXon,      // a DC1 nobody asked for
    Noise,         // random bytes to the PC (block downloads: before every answer)
    Split,         // block downloads: every answer in two parts, maybe after noise
    Stall,         // the controller stops answering and sending; --idle-timeout ends it
    CtrlC,         // SIGINT to quorlin-cli when the transfer has moved some bytes
    VanishClose,   // the controller's side of the line closes
    VanishHangUp,  // the line hangs up
};
inline constexpr int kFaultCount = 9;
const char* FaultName(Fault fault);

struct Plan {
    std::uint64_t seed = 0;
    std::uint64_t index = 0;
    int family = 0;
    int baudIndex = 0;
    Kind kind = Kind::Send;
    int downloadKind = 0;  // 1..5 for a download
    bool document = false;  // send: as the open document
    bool answer11 = false;  // block download: answers with verdicts
    Fault fault = Fault::None;
    // The byte of the transfer at which the fault's trigger fires; always
    // below what the transfer surely moves, so no trigger outlives it.
    std::size_t atByte = 0;
    int resumeMs = 0;     // Xoff: how long the line is held
    int idleSeconds = 0;  // Stall: the tool's --idle-timeout
    std::string noiseHex;
    std::string program;  // send or receive: the program's text (LF line ends)
    std::string file;     // download: the file given to quorlin-cli
    std::string image;    // download: what the controller must reassemble

    bool Blocks() const { return kind == Kind::Download && downloadKind >= 3; }
    // An Xon send sees a DC1 only as the first byte of what it reads: noise
    // just before the controller's DC1 leaves it waiting, and only Cancel
    // or the idle time-out ends it.
    bool XonSendWithNoise() const { return kind == Kind::Send && family == 4 && fault == Fault::Noise; }
    // An Xon controller's DC3 is its stop: the send ends there, as completed.
    bool XonStop() const { return kind == Kind::Send && family == 4 && fault == Fault::Xoff; }
    // The bytes the transfer moves at the least, as the simulator counts them.
    std::size_t Moves() const;
    // "f3 download k4 Xoff ..." for logs and the table.
    std::string Describe() const;
    // The table's row: "f3 send", "f4 dl k5".
    std::string Row() const;
};

Plan MakePlan(std::uint64_t seed, std::uint64_t index);

// How long the fault may take to end the transfer once it struck (the
// tool's promise), and how long a whole transfer may take before the
// watchdog kills it and records a hang.
std::chrono::milliseconds FaultBound(const Plan& plan);
std::chrono::milliseconds WatchdogBound(const Plan& plan);
std::chrono::milliseconds LineTimeAhead(const Plan& plan);

}  // namespace quorlin::soak
