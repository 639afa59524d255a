#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "cli/Console.h"

namespace quorlin::cli {

const char* const kCancelKeysText = "Ctrl+C (Ctrl+Break, closing the console)";
const char* const kPortNamingText = "the port \\\\.\\COM<N>";

void PrepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

BarTerminal StandardErrorTerminal() {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error == INVALID_HANDLE_VALUE || error == nullptr || !GetConsoleMode(error, &mode)) return BarTerminal::None;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return BarTerminal::Ansi;
    return SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) ? BarTerminal::Ansi : BarTerminal::Plain;
}

}  // namespace quorlin::cli
