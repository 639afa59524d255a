#pragma once
// Byte-level rules of the NC program send protocols and of the log. Pure
// functions, tested directly.

#include <cstdint>
#include <ctime>
#include <string>

namespace quorlin {

// Cleans a piece of program text in place, in this order: letters
// upper-cased, every NUL, blank and CR deleted, then every run of LFs
// collapsed to one LF. The result is never longer than the input.
// Only ASCII letters change, so the bytes of UTF-8 characters stay intact.
// NULs are paper-tape leader and fill: they are dropped like blanks rather
// than taken as the end of the text, so the program behind them still goes.
void NormalizeText(std::string& text);

// Whether an Echo send puts this byte on the line: not NUL, CR, blank or '+'.
bool IsDataChar(uint8_t c);

// 'a'..'z' to 'A'..'Z'; every other byte unchanged.
char UpperAscii(char c);

// Cleans one line of an Xon block in place: upper case, every NUL, blank,
// tab and CR deleted.
void CleanXonLine(std::string& line);

// The log's timestamp entry for a moment in local time:
// "\r\n%Y %m %d, %H:%M:%S   ".
std::string FormatLogTimestamp(std::time_t when);

// printf-style "%d" substitution of the texts that carry a port number.
std::string FormatWithNumber(const char* pattern, long number);

}  // namespace quorlin
