#pragma once
// quorlin-sim's command line.

#include <string>
#include <vector>

#include "sim/Simulator.h"

namespace quorlin::sim {

struct CommandLine {
    SimOptions options;
    bool readStdin = true;
    bool help = false;
    bool version = false;
    std::vector<std::string> initialCommands;  // --do COMMAND, run at start
};

// Reads argv; false with `error` set when the line is wrong.
bool ParseCommandLine(int argc, char** argv, CommandLine& result, std::string& error);

const char* OptionHelpText();

}  // namespace quorlin::sim
