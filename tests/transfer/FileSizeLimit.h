#pragma once
// A full disk for the files this process writes: while it lives, regular
// files cannot grow beyond a few bytes and a write past that fails with
// EFBIG, as one on a full disk fails with ENOSPC.

#include <signal.h>
#include <sys/resource.h>

namespace quorlin::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;  // else the write past the limit ends the process
        sigaction(SIGXFSZ, &ignore, &m_savedAction);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        sigaction(SIGXFSZ, &m_savedAction, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    struct sigaction m_savedAction {};
};

}  // namespace quorlin::test
