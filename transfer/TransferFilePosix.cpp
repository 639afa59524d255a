// The transfer files on POSIX systems (see TransferFileNative.h).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "transfer/TransferFileNative.h"

namespace quorlin::transfer_file {

namespace {

constexpr mode_t kNewFilePermissions = 0666;  // narrowed by the umask, as for any new file

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

int Descriptor(Handle file) { return static_cast<int>(file); }

}  // namespace

Handle OpenExclusive(const std::string& path, Access access, std::string& why) {
    why.clear();
    // O_NONBLOCK: a named pipe would otherwise block until a writer or
    // reader appears.
    const int flags = access == Access::Write ? O_WRONLY | O_CREAT : O_RDONLY;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, kNewFilePermissions);
    if (fd < 0) {
        if (!(access == Access::Replace && errno == ENOENT)) why = OpenErrorText(path, errno);
        return kNoHandle;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        why = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        why = NotRegularText(info.st_mode);
    } else if (access == Access::Replace && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        // A read-only program stays what it is, also for a user (root) whom
        // the mode would not stop.
        why = OpenErrorText(path, EACCES);
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        why = errno == EWOULDBLOCK ? "another transfer is using it" : std::strerror(errno);
    } else if (access == Access::Write && ::ftruncate(fd, 0) != 0) {
        // Emptied only now that the lock is ours.
        why = std::strerror(errno);
    } else {
        // A regular file never waits; the flag is dropped only to keep the
        // descriptor ordinary.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
    }
    ::close(fd);
    return kNoHandle;
}

bool LengthOf(Handle file, std::uint64_t& length, std::string& why) {
    struct stat info {};
    if (::fstat(Descriptor(file), &info) != 0) {
        why = std::strerror(errno);
        return false;
    }
    length = static_cast<std::uint64_t>(info.st_size);
    return true;
}

long long ReadSome(Handle file, void* into, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(Descriptor(file), into, count);
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

long long WriteSome(Handle file, const void* data, std::size_t count) {
    for (;;) {
        const ssize_t put = ::write(Descriptor(file), data, count);
        if (put > 0) return put;
        if (put == 0 || errno != EINTR) return -1;
    }
}

bool SeekTo(Handle file, std::uint64_t offset) {
    return ::lseek(Descriptor(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool Close(Handle file) { return ::close(Descriptor(file)) == 0; }

bool Replace(const std::string& from, const std::string& to, std::string& why) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    why = std::strerror(errno);
    return false;
}

bool Remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace quorlin::transfer_file
