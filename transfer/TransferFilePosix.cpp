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

// A failed call, in the system's own words.
FileFailure SystemFailure(const char* operation, int error, const std::string& path = {}) {
    return {CauseFromErrno(error), path, error, std::strerror(error), operation};
}

// A file that is not a regular file, refused as access denied (as the
// converters refuse it) in words that say what it is.
FileFailure NotRegularFailure(mode_t mode, const std::string& path, const char* operation, int error) {
    std::string text = std::string("it is ") + NonRegularKind(mode) + ", not a regular file";
    return {FileErrorCause::AccessDenied, path, error, std::move(text), operation};
}

// Why open() of path failed with error: a target that exists but is no
// regular file (a folder gives EISDIR, a pipe without reader ENXIO) is
// named as such; anything else gets the system's text.
FileFailure OpenFailure(const std::string& path, int error) {
    struct stat info {};
    if (error == ELOOP && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        return {FileErrorCause::AccessDenied, path, error,
                "it is a symbolic link; a received program is written only into a file of its own", "open()"};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return NotRegularFailure(info.st_mode, path, "open()", error);
    return SystemFailure("open()", error, path);
}

int Descriptor(Handle file) { return static_cast<int>(file); }

}  // namespace

Opened OpenExclusive(const std::string& path, Access access) {
    // O_NONBLOCK: a named pipe would otherwise block until a writer or
    // reader appears.
    // O_NOFOLLOW: a received program is never written through a link (one
    // that points nowhere yet would have it made wherever it points).
    const int flags = access == Access::Write ? O_WRONLY | O_CREAT | O_NOFOLLOW : O_RDONLY;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, kNewFilePermissions);
    if (fd < 0) {
        if (access == Access::Replace && errno == ENOENT) return {};
        return {kNoHandle, OpenFailure(path, errno)};
    }
    struct stat info {};
    std::optional<FileFailure> failure;
    if (::fstat(fd, &info) != 0) {
        failure = SystemFailure("fstat()", errno, path);
    } else if (!S_ISREG(info.st_mode)) {
        failure = NotRegularFailure(info.st_mode, path, "fstat()", 0);
    } else if (access == Access::Replace && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        // A read-only program stays what it is, also for a user (root) whom
        // the mode would not stop.
        failure = SystemFailure("open()", EACCES, path);
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        failure = errno == EWOULDBLOCK ? FileFailure{FileErrorCause::LockViolation, path, errno,
                                                     "another transfer is using it", "flock()"}
                                       : SystemFailure("flock()", errno, path);
    } else if (access == Access::Write && ::ftruncate(fd, 0) != 0) {
        // Emptied only now that the lock is ours.
        failure = SystemFailure("ftruncate()", errno, path);
    } else {
        // A regular file never waits; the flag is dropped only to keep the
        // descriptor ordinary.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return {fd, std::nullopt};
    }
    ::close(fd);
    return {kNoHandle, std::move(failure)};
}

FileOutcome LengthOf(Handle file, std::uint64_t& length) {
    struct stat info {};
    if (::fstat(Descriptor(file), &info) != 0) return SystemFailure("fstat()", errno);
    length = static_cast<std::uint64_t>(info.st_size);
    return {};
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

FileOutcome Close(Handle file) {
    if (::close(Descriptor(file)) == 0) return {};
    return SystemFailure("close()", errno);
}

FileOutcome Replace(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) == 0) return {};
    return SystemFailure("rename()", errno, to);
}

bool Remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace quorlin::transfer_file
