// quorlin-sim: a simulated CNC controller on a pseudo-terminal.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/Command.h"
#include "sim/ControlChannel.h"
#include "sim/Options.h"
#include "sim/SimPty.h"
#include "sim/Simulator.h"
#include "quorlin/Version.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

}  // namespace

int main(int argc, char** argv) {
    using namespace quorlin::sim;
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) {
        std::fprintf(stderr, "quorlin-sim: %s (try --help)\n", error.c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(OptionHelpText(), stdout);
        std::fputs(CommandHelpText(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("quorlin-sim %s\n", quorlin::kVersion);
        return 0;
    }
    SimOptions& options = line.options;
    if (options.storeDir.empty()) {
        char folder[] = "/tmp/quorlin-sim-store.XXXXXX";
        if (!mkdtemp(folder)) {
            std::perror("quorlin-sim: cannot make a store folder");
            return 1;
        }
        options.storeDir = folder;
    }

    // The stop signals stay blocked except while the simulator waits, so a
    // signal always wakes the wait instead of slipping in before it.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);

    auto pty = SimPty::Create(options.portsDir, options.com, error);
    if (!pty) {
        std::fprintf(stderr, "quorlin-sim: %s\n", error.c_str());
        return 1;
    }
    int fifo = -1;
    if (!options.controlFifo.empty()) {
        fifo = OpenControlFifo(options.controlFifo, error);
        if (fifo < 0) {
            std::fprintf(stderr, "quorlin-sim: %s\n", error.c_str());
            return 1;
        }
    }
    if (mkdir(options.storeDir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "quorlin-sim: cannot make the store folder %s\n", options.storeDir.c_str());
        return 1;
    }

    Simulator simulator(options, *pty, stdout);
    simulator.ReportReady();
    simulator.RunStartCommands(line.initialCommands);
    simulator.Run(fifo, line.readStdin, &waitMask, &g_stop);
    if (fifo >= 0) close(fifo);
    pty.reset();  // removes the link before saying so
    std::fputs("bye\n", stdout);
    std::fflush(stdout);
    return 0;
}
