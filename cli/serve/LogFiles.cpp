#include "cli/serve/LogFiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace quorlin::cli {

LogFiles::LogFiles() : m_thread([this] { Run(); }) {}

LogFiles::~LogFiles() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_changed.notify_one();
    m_thread.join();
    for (auto& [path, file] : m_files)
        if (file.stream) std::fclose(file.stream);
    if (m_nDropped > 0)
        std::fprintf(stderr, "quorlin-cli serve: %llu bytes of the machines' logs were dropped: the disk did not take them\n",
                     static_cast<unsigned long long>(m_nDropped));
}

void LogFiles::Append(const std::string& path, uint64_t limit, std::string_view text) {
    if (text.empty() || path.empty()) return;
    bool first;
    {
        std::lock_guard lock(m_mutex);
        if (m_nWaiting + text.size() > kWaitingLimit) {
            m_nDropped += text.size();
            return;
        }
        m_nWaiting += text.size();
        first = m_pieces.empty();
        m_pieces.push_back({path, limit, std::string(text)});
    }
    // Only the first piece wakes the writer: the rest gather with it.
    if (first) m_changed.notify_one();
}

void LogFiles::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_bStop || !m_pieces.empty(); });
        if (m_pieces.empty()) return;  // stopping, and everything is written
        m_changed.wait_for(lock, kGather, [this] { return m_bStop; });
        std::vector<Piece> pieces = std::move(m_pieces);
        m_pieces.clear();
        lock.unlock();
        for (const Piece& piece : pieces) Write(piece);
        for (auto& [path, file] : m_files)
            if (file.stream) std::fflush(file.stream);
        lock.lock();
        for (const Piece& piece : pieces) m_nWaiting -= piece.text.size();
    }
}

bool LogFiles::Open(const std::string& path, File& file) {
    std::error_code ignored;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
    file.stream = std::fopen(path.c_str(), "ab");
    if (!file.stream) {
        // Said once per file until it opens again, not once per line.
        if (!file.failureShown)
            std::fprintf(stderr, "quorlin-cli serve: cannot write the log %s: %s\n", path.c_str(), std::strerror(errno));
        file.failureShown = true;
        return false;
    }
    file.failureShown = false;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    file.size = error ? 0 : static_cast<uint64_t>(size);
    return true;
}

void LogFiles::Write(const Piece& piece) {
    File& file = m_files[piece.path];
    if (!file.stream && !Open(piece.path, file)) return;
    if (file.size > 0 && file.size + piece.text.size() > piece.limit) {
        std::fclose(file.stream);
        file.stream = nullptr;
        std::error_code ignored;
        std::filesystem::rename(piece.path, piece.path + ".1", ignored);
        if (!Open(piece.path, file)) return;
    }
    file.size += std::fwrite(piece.text.data(), 1, piece.text.size(), file.stream);
}

}  // namespace quorlin::cli
