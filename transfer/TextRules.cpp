#include "transfer/TextRules.h"

#include <cstdio>
#include <cstring>

#include "transfer/LineControl.h"
#include "transfer/LocalTime.h"

namespace quorlin {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

void NormalizeText(std::string& text) {
    size_t out = 0;
    for (const char in : text) {
        const char c = UpperAscii(in);
        if (c == '\0' || c == ' ' || c == '\r') continue;
        if (c == '\n' && out > 0 && text[out - 1] == '\n') continue;
        text[out++] = c;
    }
    text.resize(out);
}

bool IsDataChar(uint8_t c) { return c != 0x00 && c != 0x0D && c != 0x20 && c != 0x2B; }

std::string ReceivedAsStoredText(const char* bytes, size_t count, bool& afterCr) {
    std::string stored;
    stored.reserve(count + count / 8);
    for (size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == kLF && !afterCr) stored.push_back(kCR);
        stored.push_back(c);
        afterCr = c == kCR;
    }
    return stored;
}

void CleanXonLine(std::string& line) {
    std::string cleaned;
    cleaned.reserve(line.size());
    for (char c : line) {
        if (c == '\0' || c == ' ' || c == '\t' || c == '\r') continue;
        cleaned.push_back(UpperAscii(c));
    }
    line.swap(cleaned);
}

std::string FormatLogTimestamp(std::time_t when) {
    const std::tm local = LocalTimeOf(when);
    char text[64];
    const size_t length = std::strftime(text, sizeof text, "\r\n%Y %m %d, %H:%M:%S   ", &local);
    return std::string(text, length);
}

std::string FormatWithNumber(const char* pattern, long number) {
    std::string result;
    const char* mark = std::strstr(pattern, "%d");
    if (mark == nullptr) return pattern;
    result.assign(pattern, mark);
    result += std::to_string(number);
    result += mark + 2;
    return result;
}

}  // namespace quorlin
