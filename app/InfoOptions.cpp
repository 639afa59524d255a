#include "app/InfoOptions.h"

#include <cstdio>
#include <cstring>

#include "quorlin/Version.h"

namespace quorlin {

namespace {

const char* const kHelpText =
    "usage: quorlin [PROGRAM]\n"
    "\n"
    "The Quorlin desktop program: edits NC part programs, sends and receives them\n"
    "over an RS-232 line, downloads controller software and converts update files.\n"
    "PROGRAM, an NC program file, is opened at start; without it the editor starts\n"
    "with a new, empty program. When Quorlin already runs for this user, its window\n"
    "comes to the front instead and PROGRAM is not opened.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the program's version\n"
    "\n"
    "Qt's own options (such as -platform offscreen) are understood as well.\n";

}  // namespace

std::optional<int> AnswerInfoOption(int argc, char** argv) {
    if (argc != 2) return std::nullopt;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorlin %s\n", kVersion);
        return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kHelpText, stdout);
        return 0;
    }
    return std::nullopt;
}

}  // namespace quorlin
