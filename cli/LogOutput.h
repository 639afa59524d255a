#pragma once
// The log's way to standard output, on a thread of its own. Whoever reads
// standard output may stop reading (a pager waiting for a key) or go away
// (head): neither may hold up the transfer, the idle limit or the cancel
// keys, which all live on the host's thread. Text the reader does not take
// waits here up to a limit and beyond it is dropped and counted; once the
// reader has gone, everything is dropped.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace quorlin::cli {

class LogOutput {
public:
    static constexpr size_t kDefaultLimit = 16u * 1024 * 1024;

    // Made after the host blocked the cancel keys, so that its thread
    // blocks them too.
    explicit LogOutput(std::FILE* stream, size_t limit = kDefaultLimit);
    // Hands over what was appended and waits until it is written or the
    // reader has gone; the cancel keys end the process meanwhile.
    ~LogOutput();
    LogOutput(const LogOutput&) = delete;
    LogOutput& operator=(const LogOutput&) = delete;

    // Keeps text for the next Flush (no system call).
    void Append(std::string_view text);
    // Hands the text kept so far to the writer.
    void Flush();
    // Waits, at most for limit, until what was handed over has been written;
    // true when it has (or the reader has gone).
    bool Drain(std::chrono::milliseconds limit);

    // Bytes dropped because nobody read them while the limit was reached.
    uint64_t Dropped() const;

private:
    void Run();

    std::FILE* m_stream;
    const size_t m_nLimit;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;  // text handed over, written, or the end
    std::string m_strKept;              // appended, not yet handed over
    std::string m_strHanded;            // handed over, not yet taken by the writer
    size_t m_nInFlight = 0;             // taken by the writer, being written
    uint64_t m_nDropped = 0;
    bool m_bReaderGone = false;
    bool m_bStop = false;

    std::thread m_thread;  // last: it starts once everything above exists
};

}  // namespace quorlin::cli
