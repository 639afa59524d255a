#include "sim/Options.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace quorlin::sim {

namespace {

bool ParseInt(const char* text, int low, int high, int& value) {
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc() && stop == end && stop != text && value >= low && value <= high;
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine& result, std::string& error) {
    SimOptions& o = result.options;
    if (const char* ports = std::getenv("QUORLIN_PORTS")) o.portsDir = ports;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&](const char*& out) {
            if (i + 1 >= argc) {
                error = option + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (option == "--help" || option == "-h") {
            result.help = true;
        } else if (option == "--version") {
            result.version = true;
        } else if (option == "--family") {
            if (!value(v) || !ParseInt(v, 0, kFamilyCount - 1, o.family)) return error = "--family: 0 to 4", false;
        } else if (option == "--baud-index") {
            if (!value(v) || !ParseInt(v, 0, 1, o.baudIndex)) return error = "--baud-index: 0 or 1", false;
        } else if (option == "--ports") {
            if (!value(v)) return false;
            o.portsDir = v;
        } else if (option == "--com") {
            if (!value(v) || !ParseInt(v, 0, 9999, o.com)) return error = "--com: a port number", false;
        } else if (option == "--store") {
            if (!value(v)) return false;
            o.storeDir = v;
        } else if (option == "--pace") {
            o.pace = true;
        } else if (option == "--line") {
            if (!value(v)) return false;
            o.line = ParseLineSettings(v);
            if (!o.line) return error = "--line: BAUD,PARITY,DATA,STOP, e.g. 115200,o,8,1", false;
        } else if (option == "--control") {
            if (!value(v)) return false;
            o.controlFifo = v;
        } else if (option == "--no-stdin") {
            result.readStdin = false;
        } else if (option == "--echo-timeout") {
            if (!value(v) || !ParseInt(v, 1, 3600000, o.echoTimeoutMs)) return error = "--echo-timeout: milliseconds", false;
        } else if (option == "--stream-gap") {
            if (!value(v) || !ParseInt(v, 1, 3600000, o.streamGapMs)) return error = "--stream-gap: milliseconds", false;
        } else if (option == "--do") {
            if (!value(v)) return false;
            result.initialCommands.emplace_back(v);
        } else {
            error = "unknown option " + option;
            return false;
        }
    }
    if (result.help || result.version) return true;
    if (o.portsDir.empty()) return error = "no ports folder: give --ports DIR or set QUORLIN_PORTS", false;
    if (!result.readStdin && o.controlFifo.empty())
        return error = "--no-stdin needs --control FIFO (otherwise nothing could stop it but a signal)", false;
    return true;
}

const char* OptionHelpText() {
    return R"(usage: quorlin-sim [OPTIONS]

A simulated CNC controller on a pseudo-terminal, for tests, demonstrations
and training. It links the pty as COM<N> in the ports folder, so that Quorlin
and quorlin-cli (with QUORLIN_PORTS set to the same folder) open it by number.
It plays the controller's side of the chosen family:
  family 0  Echo:  answers every character; SUB ends a program
  family 1-3 Block: takes characters until SUB
  family 4  Xon:   asks with DC1 ("take"), takes a block up to ESC (asks
                   again) or SUB (the end)
It stores each program it takes, byte for byte with the framing (ESC, SUB)
removed, and each download, in the store folder as program-NNNN.nc and
download-NNNN.bin. It reports every event as one line on standard output.

Options:
  --family 0..4      controller family (default 0)
  --baud-index 0|1   the family's baud choice (family 3: 115200 for downloads,
                     family 4: 19200 for programs)
  --ports DIR        ports folder (default: $QUORLIN_PORTS)
  --com N            the port number of the link COM<N> (default 1)
  --store DIR        where programs and downloads are stored (default: a new
                     temporary folder, named in the "ready" line)
  --pace             take and give characters no faster than the line would:
                     bits per character = start + data + parity + stop
  --line B,P,D,S     line settings for pacing (default: the family's, e.g.
                     9600,o,7,1 for programs; downloads 9600,o,8,1 (stream),
                     19200,n,8,1 (family 2), block baud,o,8,1)
  --control FIFO     also read commands from this FIFO (made if missing)
  --no-stdin         do not read commands from standard input
  --do COMMAND       run COMMAND at start (may be repeated)
  --echo-timeout MS  Echo send: give up when an echo does not come (10000)
  --stream-gap MS    a download ends after this much silence (2000), or
                     when the PC closes the port
  --help             this text
  --version          the simulator's version

The simulator ends on "quit", on SIGINT or SIGTERM, or when standard input
ends while it is the only control channel; it removes its link as it ends.

Report lines (one per event, stable for scripts):
  ready COM<N> DEVICE family F PROTOCOL line L pace on|off store DIR
  port opened | port closed
  program started pc-baud B   (B: the speed the PC set on the line)
  download started pc-baud B
  armed TRIGGER at N bytes
  pc-handshake H
  stored program PATH bytes N received R blocks B elapsed-us E line-us L
  program abandoned after N bytes received N elapsed-us E
  received SUB with no program
  sending program PATH bytes N
  sent program PATH bytes N elapsed-us E [line-us L]
  send cancelled by pc after N bytes | send stalled after N bytes (no echo)
  send abandoned after N bytes (port closed)
  expecting download stream|blocks answer 10|11 line L | expecting program
  download block K bytes L sum S header H ok|bad pc-baud B
  download answer 10|11 block K
  download verdict V after block K
  stored download PATH bytes N received R [blocks K [incomplete]] elapsed-us E ended-by WHY
  sent DC3 at N bytes | sent DC1 at N bytes | sent DC1 (resume)
  reached N bytes | stalled at N bytes | vanished close|hangup at N bytes
  status mode M transfer-bytes N rx R tx T programs P downloads D pc-subs S
  error TEXT
elapsed-us is the time from the program's first byte to its last as the
simulator handled them; line-us the same on the paced line's clock, where a
late wake-up of the simulator finds the bytes waiting, as a UART's FIFO
holds them, and costs the line nothing.

)";
}

}  // namespace quorlin::sim
