#include <signal.h>
#include <unistd.h>

#include "cli/Console.h"

namespace quorlin::cli {

const char* const kCancelKeysText = "Ctrl+C (SIGINT, SIGTERM)";
const char* const kPortNamingText = "through the port map (QUORLIN_PORTS, COM<N> links)";

// Two signals would end the tool in the middle of a transfer, the file half
// written and the controller never told: SIGPIPE when whoever read standard
// output has gone (| head), SIGXFSZ at a file-size limit. Ignored, the write
// fails instead (EPIPE, EFBIG) and the error takes its ordinary road: a log
// nobody takes is dropped, a file that cannot grow is a full disk.
void PrepareStandardStreams() {
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

BarTerminal StandardErrorTerminal() { return isatty(STDERR_FILENO) == 1 ? BarTerminal::Ansi : BarTerminal::None; }

}  // namespace quorlin::cli
