#pragma once
// The operator's commands, one per line on the control channel. The text of
// HelpText() is the reference; Parse turns a line into a Command or explains
// why it cannot.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sim/Family.h"
#include "sim/LineTiming.h"

namespace quorlin::sim {

struct SendProgram { std::string path; };
// Several programs one behind the other, each ended by its SUB, the next
// following at once: what a control's "punch all" puts on the line.
struct SendPrograms { std::vector<std::string> paths; };
struct TakeProgram {};
struct ExpectProgram {};
struct ExpectDownload {
    DownloadMode mode = DownloadMode::Blocks;
    std::uint8_t answer = 0x10;          // 0x10 or 0x11
    std::vector<std::uint8_t> noise;      // written before every answer
    bool split = false;                   // answer in two writes, 50 ms apart
};
enum class Trigger { Dc3, Dc1, Mark, Stall, VanishClose, VanishHangUp };
// Fires once when the running transfer has moved `atBytes` bytes.
struct Arm {
    Trigger trigger;
    std::size_t atBytes = 0;
    int resumeMs = -1;  // Dc3 only: DC1 follows after this many ms
};
// Waits until the PC's flow control is `handshake` (its termios shows it),
// e.g. until an Xon receive has set up its line, and reports it.
struct AwaitHandshake { std::string handshake; };
struct Noise { std::vector<std::uint8_t> bytes; };
struct SetLine { LineSettings line; };
struct SetPace { bool on; };
struct Status {};
struct Quit {};
struct Help {};
struct Empty {};

using Command = std::variant<Empty, SendProgram, SendPrograms, TakeProgram, ExpectProgram, ExpectDownload, Arm, AwaitHandshake, Noise, SetLine,
                             SetPace, Status, Quit, Help>;

struct ParseResult {
    Command command;
    std::string error;  // empty when the line was understood
};

ParseResult ParseCommand(std::string_view line);

// "5A00FF" or "5a 00 ff"; false for anything else.
bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes);

// The commands, for --help and the "help" command.
const char* CommandHelpText();

}  // namespace quorlin::sim
