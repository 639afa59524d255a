#pragma once
// Byte-level rules of the NC program send protocols and of the log. Pure
// functions, tested directly.

#include <cstddef>
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

// A received program's text as a text file stores it: a bare LF becomes
// CR LF; an LF that follows a CR stays as it came, since a controller that
// ends its lines with CR LF must not get CR CR LF back. afterCr says whether
// the byte before `bytes` (the end of the previous read) was a CR, and is
// left saying it of the last byte, so that a pair split between two reads
// is stored as one.
std::string ReceivedAsStoredText(const char* bytes, size_t count, bool& afterCr);

// Cleans one line of an Xon block in place: upper case, every NUL, blank,
// tab and CR deleted.
void CleanXonLine(std::string& line);

// The log's timestamp entry for a moment in local time:
// "\r\n%Y %m %d, %H:%M:%S   ".
std::string FormatLogTimestamp(std::time_t when);

// printf-style "%d" substitution of the texts that carry a port number.
std::string FormatWithNumber(const char* pattern, long number);

}  // namespace quorlin
