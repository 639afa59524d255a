#pragma once
// What quorlin-cli's standard streams are and how it speaks of this system:
// one file per system (ConsolePosix.cpp, ConsoleWin32.cpp).

namespace quorlin::cli {

// Sets the standard streams up once, before anything is written: on Windows
// they pass bytes through unchanged (the log's lines already end in CR LF,
// and a text-mode stream would make them CR CR LF); on POSIX a reader of
// standard output that goes away, or a file-size limit, makes a write fail
// rather than end the process.
void PrepareStandardStreams();

// What the host's standard error is, for drawing a progress bar on it.
enum class BarTerminal {
    None,   // a file or a pipe: no bar
    Ansi,   // a terminal that takes "\r" and the erase-to-end-of-line sequence
    Plain,  // a console that takes "\r" only: the bar is blanked with spaces
};

// What standard error is. On a Windows console this also asks it to take
// the erase sequence, falling back to Plain where it cannot.
BarTerminal StandardErrorTerminal();

// The words the help uses for the keys and events that cancel, and for how
// a port number names a device.
extern const char* const kCancelKeysText;
extern const char* const kPortNamingText;

}  // namespace quorlin::cli
