#include "cli/serve/LogWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace quorlin::cli {

namespace {

constexpr std::chrono::seconds kDestructorWait{1};

}  // namespace

struct LogWriter::State {
    const std::string path;
    Failed failed;

    std::mutex mutex;
    std::condition_variable changed;  // text handed over, or the stop
    std::condition_variable ended;
    struct Piece {
        uint64_t limit;
        std::string text;
    };
    std::vector<Piece> pieces;
    size_t nWaiting = 0;
    uint64_t nDropped = 0;
    bool bStop = false;
    bool bEnded = false;
    bool bAbandoned = false;  // the owner is gone: nothing is said any more

    // The thread's own.
    int fd = -1;
    bool bRegular = false;
    uint64_t size = 0;
    bool bFailureShown = false;
    std::thread thread;

    State(std::string p, Failed f) : path(std::move(p)), failed(std::move(f)) {}

    void Fail(const std::string& why) {
        if (bFailureShown) return;
        bFailureShown = true;
        std::lock_guard lock(mutex);
        if (!bAbandoned && failed) failed(why);
    }

    bool Open() {
        std::error_code ignored;
        const std::filesystem::path parent = std::filesystem::path(path).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
        // O_NONBLOCK: a named pipe without a reader fails at once instead of
        // waiting for one; a reader that stops reading drops text instead of
        // holding the thread.
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
        if (fd < 0) {
            Fail(std::strerror(errno));
            return false;
        }
        struct stat info {};
        bRegular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        size = bRegular ? static_cast<uint64_t>(info.st_size) : 0;
        if (bRegular) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        bFailureShown = false;
        return true;
    }

    void Close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    void Write(const Piece& piece) {
        if (fd < 0 && !Open()) return;
        if (bRegular && size > 0 && size + piece.text.size() > piece.limit) {
            Close();
            std::error_code ignored;
            std::filesystem::rename(path, path + ".1", ignored);
            if (!Open()) return;
        }
        size_t done = 0;
        while (done < piece.text.size()) {
            const ssize_t put = ::write(fd, piece.text.data() + done, piece.text.size() - done);
            if (put > 0) {
                done += static_cast<size_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR) continue;
            if (put < 0 && errno == EAGAIN) break;  // a pipe's reader that does not keep up
            Fail(put < 0 ? std::strerror(errno) : "the log takes nothing");
            Close();  // opened again with the next text
            break;
        }
        size += done;
        if (done < piece.text.size()) {
            std::lock_guard lock(mutex);
            nDropped += piece.text.size() - done;
        }
    }
};

LogWriter::LogWriter(std::string path, Failed failed)
    : m_state(std::make_shared<State>(std::move(path), std::move(failed))) {
    m_state->thread = std::thread(&LogWriter::Run, m_state);
}

LogWriter::~LogWriter() {
    if (m_bFinished) return;
    Stop();
    Finish(std::chrono::steady_clock::now() + kDestructorWait);
}

void LogWriter::Append(uint64_t limit, std::string_view text) {
    if (text.empty()) return;
    bool first;
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->nWaiting + text.size() > kWaitingLimit) {
            m_state->nDropped += text.size();
            return;
        }
        m_state->nWaiting += text.size();
        first = m_state->pieces.empty();
        m_state->pieces.push_back({limit, std::string(text)});
    }
    // Only the first piece wakes the writer: the rest gather with it.
    if (first) m_state->changed.notify_one();
}

void LogWriter::Stop() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->bStop = true;
    }
    m_state->changed.notify_one();
}

bool LogWriter::Finish(std::chrono::steady_clock::time_point deadline) {
    m_bFinished = true;
    bool ended;
    {
        std::unique_lock lock(m_state->mutex);
        ended = m_state->ended.wait_until(lock, deadline, [this] { return m_state->bEnded; });
        if (!ended) m_state->bAbandoned = true;
    }
    if (ended)
        m_state->thread.join();
    else
        m_state->thread.detach();  // blocked in the file system; it ends with the process
    return ended;
}

uint64_t LogWriter::Dropped() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->nDropped;
}

void LogWriter::Run(std::shared_ptr<State> state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return state->bStop || !state->pieces.empty(); });
        if (state->pieces.empty()) break;  // stopping, and everything is written
        state->changed.wait_for(lock, kGather, [&] { return state->bStop; });
        std::vector<State::Piece> pieces = std::move(state->pieces);
        state->pieces.clear();
        lock.unlock();
        for (const State::Piece& piece : pieces) state->Write(piece);
        lock.lock();
        for (const State::Piece& piece : pieces) state->nWaiting -= piece.text.size();
    }
    lock.unlock();
    state->Close();
    lock.lock();
    state->bEnded = true;
    state->ended.notify_all();
}

}  // namespace quorlin::cli
