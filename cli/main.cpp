// quorlin-cli: the converters and the serial transfers from the command line.

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/ArgParser.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "quorlin/Version.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const quorlin::cli::Args&);
    const char* summary;
};

const Command kCommands[] = {
    {"convert", quorlin::cli::RunConvert, "convert sources into an update file or ROM image"},
    {"batch-convert", quorlin::cli::RunBatchConvert, "convert every .bin or .dat file of a folder"},
    {"check", quorlin::cli::RunCheck, "check an update file or picture before a download"},
    {"send", quorlin::cli::RunSend, "send an NC program to the controller"},
    {"receive", quorlin::cli::RunReceive, "store a program that the controller sends"},
    {"download", quorlin::cli::RunDownload, "download controller software"},
    {"ports", quorlin::cli::RunPorts, "list the serial ports that open"},
    {"machines", quorlin::cli::RunMachines, "list the machine profiles"},
    {"serve", quorlin::cli::RunServe, "serve the machines unattended: store, answer requests"},
    {"nc-tool", quorlin::cli::RunNcTool, "renumber, compact or strip the comments of an NC program"},
    {"compare", quorlin::cli::RunCompare, "compare two NC programs line by line (diff -u form)"},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: quorlin-cli COMMAND [OPTIONS]\n\ncommands:\n");
    for (const auto& command : kCommands) std::fprintf(out, "  %-14s %s\n", command.name, command.summary);
    std::fprintf(out, "\n'quorlin-cli COMMAND --help' describes a command; 'quorlin-cli --version' gives the version.\n");
}

}  // namespace

int main(int argc, char** argv) {
    quorlin::cli::PrepareStandardStreams();
    if (argc < 2) {
        std::fprintf(stderr, "quorlin-cli: no command given (try --help)\n");
        return quorlin::cli::kExitUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorlin-cli %s\n", quorlin::kVersion);
        return 0;
    }
    for (const auto& command : kCommands) {
        if (std::strcmp(argv[1], command.name) == 0)
            return command.run(quorlin::cli::Args(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "quorlin-cli: unknown command '%s' (try --help)\n", argv[1]);
    return quorlin::cli::kExitUsage;
}
