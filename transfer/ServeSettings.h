#pragma once
// How `quorlin-cli serve` serves a machine: the keys of the machine's group
// that only the unattended service reads, checked, and the names it gives
// the programs it stores.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace quorlin {

inline constexpr const char* kServeRequestNumberKey = "RequestNumber";
inline constexpr const char* kServeNamePatternKey = "NamePattern";
inline constexpr const char* kServeRequestCommentsKey = "RequestComments";
inline constexpr const char* kServeRequestDelayKey = "RequestDelay";
inline constexpr const char* kServeLogFileKey = "LogFile";
inline constexpr const char* kServeLogFileSizeKey = "LogFileSize";

// The keys' texts as the profile holds them; empty where a key is missing.
struct ServeEntry {
    std::string requestNumber, namePattern, requestDelay, logFile, logFileSize;
    std::vector<std::string> requestComments;
};

struct ServeSettings {
    std::string requestNumber = "9999";
    std::string namePattern = "O{number}.nc";
    std::vector<std::string> requestComments{"REQ O{number}", "PRG={number}"};
    std::chrono::milliseconds requestDelay{5000};
    std::string logFile;
    uint64_t logFileSize = 1024 * 1024;
    bool operator==(const ServeSettings&) const = default;
};

// The settings of a machine's entry, the defaults where a key is missing;
// defaultLogFile where LogFile is. Why, when a key holds no such setting.
std::optional<std::string> ParseServeSettings(const ServeEntry& entry, const std::string& defaultLogFile,
                                              ServeSettings& settings);

// The file name of program number digits under pattern.
std::string ProgramFileName(const std::string& pattern, const std::string& digits);

// "YYYYMMDD-HHMMSS" of a local time.
std::string FileTimestamp(std::time_t when);

// The name of a program that carries no number: "received-YYYYMMDD-HHMMSS.nc".
std::string UnnumberedProgramName(std::time_t when);

// The name an older program is kept under when a new one of its name
// arrives: "O1234.YYYYMMDD-HHMMSS.nc" for "O1234.nc"; the n-th (from 2) of
// one second gets "-n" behind the time.
std::string BackupName(const std::string& name, std::time_t when, int n = 1);

}  // namespace quorlin
