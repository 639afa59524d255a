#include "cli/serve/LogFiles.h"

#include <cstdio>

namespace quorlin::cli {

LogFiles::LogFiles(LogOutput& events) : m_events(events) {}

LogFiles::~LogFiles() {
    std::lock_guard lock(m_mutex);
    // All stop together, so that the wait is one bound, not one per log.
    for (auto& [path, writer] : m_writers) writer->Stop();
    const auto deadline = std::chrono::steady_clock::now() + kStopWait;
    uint64_t dropped = 0;
    for (auto& [path, writer] : m_writers) {
        if (!writer->Finish(deadline))
            std::fprintf(stderr, "quorlin-cli serve: the log %s did not take its last lines\n", path.c_str());
        dropped += writer->Dropped();
    }
    if (dropped > 0)
        std::fprintf(stderr, "quorlin-cli serve: %llu bytes of the machines' logs were dropped: the logs did not take them\n",
                     static_cast<unsigned long long>(dropped));
}

void LogFiles::Append(const std::string& machine, const std::string& path, uint64_t limit, std::string_view text) {
    if (text.empty() || path.empty()) return;
    std::lock_guard lock(m_mutex);
    auto found = m_writers.find(path);
    if (found == m_writers.end()) {
        auto failed = [this, machine, path](const std::string& why) {
            std::fprintf(stderr, "quorlin-cli serve: cannot write the log %s: %s\n", path.c_str(), why.c_str());
            m_events.Append(machine + ": failed log " + path + ": " + why + "\n");
            m_events.Flush();
        };
        found = m_writers.emplace(path, std::make_unique<LogWriter>(path, failed)).first;
    }
    found->second->Append(limit, text);
}

}  // namespace quorlin::cli
