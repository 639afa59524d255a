#include "transfer/TransferFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "transfer/LineControl.h"

namespace quorlin {

namespace {

// Plain words for a file that is not a regular file.
const char* NonRegularKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

std::string NotRegularText(mode_t mode) {
    return std::string("it is ") + NonRegularKind(mode) + ", not a regular file";
}

// Why open() of path failed with error: a target that exists but is no
// regular file (a folder gives EISDIR, a pipe without reader ENXIO) is
// named as such; anything else gets the system's text.
std::string OpenErrorText(const std::string& path, int error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return NotRegularText(info.st_mode);
    return std::strerror(error);
}

// Opens path without ever waiting (O_NONBLOCK: a named pipe would otherwise
// block until a writer or reader appears), refuses anything but a regular
// file, and takes the exclusive lock without waiting. -1 with why set when
// any step fails.
int OpenExclusive(const std::string& path, int flags, std::string& why, mode_t mode = 0) {
    why.clear();
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0) {
        why = OpenErrorText(path, errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        why = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        why = NotRegularText(info.st_mode);
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        why = errno == EWOULDBLOCK ? "another transfer is using it" : std::strerror(errno);
    } else {
        // A regular file never waits; the flag is dropped only to keep the
        // descriptor ordinary.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
    }
    ::close(fd);
    return -1;
}

}  // namespace

bool TransferInputFile::Open(const std::string& path) {
    Close();
    m_fd = OpenExclusive(path, O_RDONLY, m_strOpenFailure);
    if (m_fd < 0) return false;
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        m_strOpenFailure = std::strerror(errno);
        Close();
        return false;
    }
    m_length = static_cast<uint64_t>(info.st_size);
    m_offset = 0;
    m_bFailed = false;
    return true;
}

void TransferInputFile::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

size_t TransferInputFile::ReadRaw(void* out, size_t count) {
    if (m_fd < 0) return 0;
    auto* bytes = static_cast<char*>(out);
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(m_fd, bytes + done, count - done);
        if (got > 0) {
            done += static_cast<size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) m_bFailed = true;
        break;
    }
    m_offset += done;
    return done;
}

bool TransferInputFile::Seek(uint64_t offset) {
    if (m_fd < 0 || ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
    m_offset = offset;
    return true;
}

bool ProgramReader::Open(const std::string& path) {
    m_nPos = m_nEnd = 0;
    m_bEnded = false;
    return m_file.Open(path);
}

void ProgramReader::Close() { m_file.Close(); }

bool ProgramReader::Fill() {
    if (m_nPos > 0) {
        std::memmove(m_buffer, m_buffer + m_nPos, m_nEnd - m_nPos);
        m_nEnd -= m_nPos;
        m_nPos = 0;
    }
    const size_t got = m_file.ReadRaw(m_buffer + m_nEnd, sizeof m_buffer - m_nEnd);
    m_nEnd += got;
    return got > 0;
}

int ProgramReader::Get() {
    if (m_bEnded) return -1;
    if (m_nPos == m_nEnd && !Fill()) {
        m_bEnded = true;
        return -1;
    }
    const char c = m_buffer[m_nPos];
    if (c == kSUB) {
        m_bEnded = true;
        return -1;
    }
    if (c == kCR) {
        if (m_nPos + 1 == m_nEnd) Fill();
        if (m_nPos + 1 < m_nEnd && m_buffer[m_nPos + 1] == kLF) {
            m_nPos += 2;
            return kLF;
        }
    }
    ++m_nPos;
    return static_cast<unsigned char>(c);
}

size_t ProgramReader::Read(char* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        const int c = Get();
        if (c < 0) break;
        out[done++] = static_cast<char>(c);
    }
    return done;
}

bool ProgramReader::ReadLine(std::string& line) {
    line.clear();
    int c = Get();
    if (c < 0) return false;
    while (c >= 0 && c != kLF) {
        line.push_back(static_cast<char>(c));
        c = Get();
    }
    return true;
}

bool ProgramWriter::Open(const std::string& path) {
    Close();
    m_fd = OpenExclusive(path, O_WRONLY | O_CREAT, m_strOpenFailure, 0666);
    if (m_fd < 0) return false;
    // Emptied only now that the lock is ours.
    if (::ftruncate(m_fd, 0) != 0) {
        m_strOpenFailure = std::strerror(errno);
        Close();
        return false;
    }
    m_offset = 0;
    return true;
}

bool ProgramWriter::Write(const char* data, size_t count) {
    if (m_fd < 0) return false;
    std::string text;
    text.reserve(count + count / 8);
    for (size_t i = 0; i < count; ++i) {
        if (data[i] == kLF) text.push_back(kCR);
        text.push_back(data[i]);
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(m_fd, text.data() + done, text.size() - done);
        if (put > 0) {
            done += static_cast<size_t>(put);
            m_offset += static_cast<uint64_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        return false;
    }
    return true;
}

bool ProgramWriter::Close() {
    if (m_fd < 0) return true;
    const bool ok = ::close(m_fd) == 0;
    m_fd = -1;
    return ok;
}

}  // namespace quorlin
