#pragma once
// The served machines' log files, each written by a LogWriter of its own,
// so that neither a slow or full disk nor a log that cannot be written
// holds up a machine's line, another machine's log or the stop. A log that
// cannot be written is said once, as an event of its machine.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "cli/LogOutput.h"
#include "cli/serve/LogWriter.h"

namespace quorlin::cli {

class LogFiles {
public:
    // How long the stop waits for the logs to take what is still waiting:
    // a log on a share that hangs is left behind after it.
    static constexpr std::chrono::milliseconds kStopWait{1000};

    explicit LogFiles(LogOutput& events);
    // Writes what was handed over, each log bounded by kStopWait, then ends.
    ~LogFiles();
    LogFiles(const LogFiles&) = delete;
    LogFiles& operator=(const LogFiles&) = delete;

    // Hands machine's text over for the file at path (created with its
    // folder when needed), which is rotated at limit bytes. Returns at once.
    void Append(const std::string& machine, const std::string& path, uint64_t limit, std::string_view text);

private:
    LogOutput& m_events;
    std::mutex m_mutex;
    std::map<std::string, std::unique_ptr<LogWriter>> m_writers;  // by path
};

}  // namespace quorlin::cli
