#include "cli/LogOutput.h"

namespace quorlin::cli {

LogOutput::LogOutput(std::FILE* stream, size_t limit)
    : m_stream(stream), m_nLimit(limit), m_thread([this] { Run(); }) {}

LogOutput::~LogOutput() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_strHanded += m_strKept;
        m_strKept.clear();
        m_bStop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void LogOutput::Append(std::string_view text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bReaderGone) return;
    const size_t waiting = m_strKept.size() + m_strHanded.size() + m_nInFlight;
    if (waiting + text.size() > m_nLimit) {
        m_nDropped += text.size();
        return;
    }
    m_strKept.append(text);
}

void LogOutput::Flush() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_strKept.empty()) return;
        m_strHanded += m_strKept;
        m_strKept.clear();
    }
    m_changed.notify_all();
}

bool LogOutput::Drain(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, limit,
                              [this] { return m_bReaderGone || (m_strHanded.empty() && m_nInFlight == 0); });
}

uint64_t LogOutput::Dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nDropped;
}

void LogOutput::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_bStop || !m_strHanded.empty(); });
        if (m_strHanded.empty() || m_bReaderGone) break;  // only m_bStop is left
        std::string chunk;
        chunk.swap(m_strHanded);
        m_nInFlight = chunk.size();
        lock.unlock();
        // Blocks for as long as the reader does not read: only this thread.
        const bool written =
            std::fwrite(chunk.data(), 1, chunk.size(), m_stream) == chunk.size() && std::fflush(m_stream) == 0;
        lock.lock();
        m_nInFlight = 0;
        if (!written) {
            // The reader has gone (EPIPE): what it would have read is dropped.
            m_bReaderGone = true;
            m_strHanded.clear();
            m_strKept.clear();
        }
        m_changed.notify_all();
        if (m_bReaderGone) break;
    }
}

}  // namespace quorlin::cli
