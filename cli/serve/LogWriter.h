#pragma once
// One machine's log file, written on a thread of its own. A log that cannot
// take its text (a named pipe nobody reads, a network share that hangs on
// open or write) holds up only its own thread: never another machine's log,
// never the machine, never the stop, which leaves such a thread behind.
//
// The file is rotated by size: when the next text would take it past its
// limit it is renamed to "PATH.1" (replacing the one before) and begun
// anew. Only a regular file is rotated: a log that is a device or a pipe
// ("/dev/null" for no log) is written and never renamed.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quorlin::cli {

class LogWriter {
public:
    // Says, once until the log opens again, why it cannot be written.
    using Failed = std::function<void(const std::string& why)>;

    // Text waiting for a log that does not take it is kept up to this much;
    // beyond it, text is dropped and counted.
    static constexpr size_t kWaitingLimit = 16u * 1024 * 1024;
    // How long pieces gather before they are written: well below what a
    // person who watches the file notices, and a few wake-ups a second on a
    // busy line instead of one per piece.
    static constexpr std::chrono::milliseconds kGather{100};

    LogWriter(std::string path, Failed failed);
    // Stops (if Finish was not called) and waits at most a second.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Hands text over, for a file rotated at limit bytes. Returns at once.
    void Append(uint64_t limit, std::string_view text);

    // Asks the thread to write what waits and end; returns at once.
    void Stop();
    // Waits until the thread has ended, or until deadline: then it is left
    // to end with the process and says nothing more. True when it ended.
    bool Finish(std::chrono::steady_clock::time_point deadline);
    // Bytes dropped because the log did not take them.
    uint64_t Dropped() const;

private:
    struct State;
    static void Run(std::shared_ptr<State> state);

    std::shared_ptr<State> m_state;  // shared with the thread, which may outlive this object
    bool m_bFinished = false;
};

}  // namespace quorlin::cli
