#include "transfer/ServeSettings.h"

#include <cstdio>

#include "nc/ProgramHeader.h"
#include "transfer/LocalTime.h"
#include "transfer/Machine.h"

namespace quorlin {

namespace {

// Whole digits only, at most nine of them.
std::optional<uint64_t> Digits(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

// Seconds with up to three decimals ("5", "0.5").
std::optional<std::chrono::milliseconds> Seconds(const std::string& text) {
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    if (fraction.size() > 3) return std::nullopt;
    fraction.resize(3, '0');
    const auto seconds = whole.empty() && dot != std::string::npos ? std::optional<uint64_t>(0) : Digits(whole);
    const auto thousandths = Digits(fraction);
    if (!seconds || !thousandths || *seconds > 3600) return std::nullopt;
    return std::chrono::milliseconds(*seconds * 1000 + *thousandths);
}

bool HasOnePlaceholder(const std::string& pattern) {
    const size_t at = pattern.find(nc::kNumberPlaceholder);
    return at != std::string::npos && pattern.find(nc::kNumberPlaceholder, at + 1) == std::string::npos;
}

}  // namespace

std::optional<std::string> ParseServeSettings(const ServeEntry& entry, const std::string& defaultLogFile,
                                              ServeSettings& settings) {
    ServeSettings parsed;
    if (!entry.requestNumber.empty()) {
        if (!Digits(entry.requestNumber)) return std::string("RequestNumber must be a program number (digits)");
        parsed.requestNumber = entry.requestNumber;
    }
    if (!entry.namePattern.empty()) {
        // The pattern's name must stay in the receive folder whatever the digits.
        if (!HasOnePlaceholder(entry.namePattern) || !IsBareFileName(ProgramFileName(entry.namePattern, "1")))
            return std::string("NamePattern must be a file name holding {number} once, e.g. O{number}.nc");
        parsed.namePattern = entry.namePattern;
    }
    if (!entry.requestComments.empty()) {
        for (const std::string& pattern : entry.requestComments)
            if (!HasOnePlaceholder(pattern))
                return "RequestComments: " + pattern + " holds no {number} (e.g. REQ O{number})";
        parsed.requestComments = entry.requestComments;
    }
    if (!entry.requestDelay.empty()) {
        const auto delay = Seconds(entry.requestDelay);
        if (!delay) return std::string("RequestDelay must be seconds, 0 to 3600 (e.g. 5 or 0.5)");
        parsed.requestDelay = *delay;
    }
    parsed.logFile = entry.logFile.empty() ? defaultLogFile : entry.logFile;
    if (!entry.logFileSize.empty()) {
        const auto kib = Digits(entry.logFileSize);
        if (!kib || *kib < 4) return std::string("LogFileSize must be KiB, at least 4");
        parsed.logFileSize = *kib * 1024;
    }
    settings = std::move(parsed);
    return std::nullopt;
}

std::string ProgramFileName(const std::string& pattern, const std::string& digits) {
    std::string name = pattern;
    const size_t at = name.find(nc::kNumberPlaceholder);
    if (at != std::string::npos) name.replace(at, nc::kNumberPlaceholder.size(), digits);
    return name;
}

std::string FileTimestamp(std::time_t when) {
    const std::tm local = LocalTimeOf(when);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string UnnumberedProgramName(std::time_t when) { return "received-" + FileTimestamp(when) + ".nc"; }

std::string BackupName(const std::string& name, std::time_t when, int n) {
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    return stem + "." + FileTimestamp(when) + (n > 1 ? "-" + std::to_string(n) : std::string()) + extension;
}

}  // namespace quorlin
