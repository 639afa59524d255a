// quorlin-cli serve is built on POSIX signals (SIGTERM, SIGHUP) and waits;
// this build has none of them.

#include <cstdio>

#include "cli/ArgParser.h"
#include "cli/Commands.h"

namespace quorlin::cli {

int RunServe(const Args&) {
    std::fprintf(stderr, "quorlin-cli serve: runs on Linux and other POSIX systems only\n");
    return kExitFailed;
}

}  // namespace quorlin::cli
