#include <unistd.h>

#include "cli/Console.h"

namespace quorlin::cli {

const char* const kCancelKeysText = "Ctrl+C (SIGINT, SIGTERM)";
const char* const kPortNamingText = "through the port map (QUORLIN_PORTS, COM<N> links)";

void PrepareStandardStreams() {}

BarTerminal StandardErrorTerminal() { return isatty(STDERR_FILENO) == 1 ? BarTerminal::Ansi : BarTerminal::None; }

}  // namespace quorlin::cli
