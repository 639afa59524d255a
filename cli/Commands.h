#pragma once
// The commands of quorlin-cli. Each takes the words after its name and
// returns the process's exit status.

#include <string>
#include <vector>

namespace quorlin::cli {

using Args = std::vector<std::string>;

// Converters (update files, ROM images, checks).
int RunConvert(const Args& args);
int RunBatchConvert(const Args& args);
int RunCheck(const Args& args);

// Transfers over the serial line.
int RunSend(const Args& args);
int RunReceive(const Args& args);
int RunDownload(const Args& args);
int RunPorts(const Args& args);
int RunMachines(const Args& args);
// Every machine served unattended (POSIX only).
int RunServe(const Args& args);

// NC program tools and the comparison of two programs.
int RunNcTool(const Args& args);
int RunCompare(const Args& args);

}  // namespace quorlin::cli
