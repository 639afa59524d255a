#pragma once
// The desktop program's answers that need no window: --help and --version.

#include <optional>

namespace quorlin {

// When the command line is exactly "--help", "-h" or "--version", prints the
// answer on standard output and returns the exit status; otherwise nullopt
// and the program starts as usual (a file named like an option is opened
// as ./--help). Runs before the window system is reached, so it works
// without a display.
std::optional<int> AnswerInfoOption(int argc, char** argv);

}  // namespace quorlin
