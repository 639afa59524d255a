// Placeholder: the converter commands are being written.
#include <cstdio>
#include "cli/Commands.h"
namespace quorlin::cli {
static int NotYet() { std::fprintf(stderr, "quorlin-cli: not available yet\n"); return 1; }
int RunConvert(const Args&) { return NotYet(); }
int RunBatchConvert(const Args&) { return NotYet(); }
int RunCheck(const Args&) { return NotYet(); }
}  // namespace quorlin::cli
