// Placeholder: the transfer commands are being written.
#include <cstdio>
#include "cli/Commands.h"
namespace quorlin::cli {
static int NotYet() { std::fprintf(stderr, "quorlin-cli: not available yet\n"); return 1; }
int RunSend(const Args&) { return NotYet(); }
int RunReceive(const Args&) { return NotYet(); }
int RunDownload(const Args&) { return NotYet(); }
int RunPorts(const Args&) { return NotYet(); }
}  // namespace quorlin::cli
