#pragma once
// The served machines' log files, written on a thread of their own so that
// a slow or full disk never holds up the machines' lines. Each file is
// rotated by size: when the next text would take it past its limit it is
// renamed to "PATH.1" (replacing the one before) and begun anew.
//
// A receive logs a piece on nearly every turn of its machine, hundreds a
// second on a busy shop's lines. The writer gathers them for kGather before
// it writes and flushes, so that it wakes a few times a second instead of
// once per piece; the destructor writes what is still gathering at once.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorlin::cli {

class LogFiles {
public:
    // Text waiting for a disk that does not take it is kept up to this
    // much; beyond it, text is dropped and counted.
    static constexpr size_t kWaitingLimit = 16u * 1024 * 1024;
    // How long pieces gather before they are written: well below what a
    // person who watches the file notices.
    static constexpr std::chrono::milliseconds kGather{100};

    LogFiles();
    // Writes what was handed over, then ends.
    ~LogFiles();
    LogFiles(const LogFiles&) = delete;
    LogFiles& operator=(const LogFiles&) = delete;

    // Hands text over for the file at path (created with its folder when
    // needed), which is rotated at limit bytes. Returns at once.
    void Append(const std::string& path, uint64_t limit, std::string_view text);

private:
    struct Piece {
        std::string path;
        uint64_t limit;
        std::string text;
    };
    struct File {
        std::FILE* stream = nullptr;
        uint64_t size = 0;
        bool failureShown = false;
    };
    void Run();
    void Write(const Piece& piece);
    bool Open(const std::string& path, File& file);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Piece> m_pieces;
    size_t m_nWaiting = 0;
    uint64_t m_nDropped = 0;
    bool m_bStop = false;
    std::map<std::string, File> m_files;  // the writer thread's

    std::thread m_thread;  // last: it starts once everything above exists
};

}  // namespace quorlin::cli
