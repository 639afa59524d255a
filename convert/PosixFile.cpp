#include "convert/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include "convert/FileError.h"

namespace quorlin {

namespace {

[[noreturn]] void Throw(const std::string& path, int errorNumber) {
    throw FileError(CauseFromErrno(errorNumber), path, errorNumber);
}

}  // namespace

PosixFile::PosixFile(int fd, std::string path)
    : fd_(fd), path_(std::move(path)), buffer_(new char[kIoBufferSize]) {
    struct stat info {};
    if (::fstat(fd_, &info) == 0) {
        device_ = info.st_dev;
        inode_ = info.st_ino;
    }
}

PosixFile PosixFile::OpenForReading(const std::string& path) {
    // Looked at before opening: opening some devices acts on them.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        throw FileError::NotRegularFile(path);
    // Non-blocking, so that a pipe put in the file's place since cannot hold
    // the open; the descriptor is looked at again below.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) Throw(path, errno);
    int error = 0;
    bool regular = false;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;  // open() lets a folder be read; its bytes are no file's
    else
        regular = S_ISREG(info.st_mode);
    if (error == 0 && regular) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
    }
    if (error != 0 || !regular) {
        ::close(fd);
        if (error != 0) Throw(path, error);
        throw FileError::NotRegularFile(path);
    }
    return PosixFile(fd, path);
}

PosixFile PosixFile::CreateForWriting(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) Throw(path, errno);
    return PosixFile(fd, path);
}

PosixFile PosixFile::Adopt(int fd, std::string pathForMessages) { return PosixFile(fd, std::move(pathForMessages)); }

PosixFile::PosixFile(PosixFile&& other) noexcept { *this = std::move(other); }

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        buffer_ = std::move(other.buffer_);
        readPos_ = std::exchange(other.readPos_, 0);
        readEnd_ = std::exchange(other.readEnd_, 0);
        writeFill_ = std::exchange(other.writeFill_, 0);
        position_ = std::exchange(other.position_, 0);
        device_ = other.device_;
        inode_ = other.inode_;
    }
    return *this;
}

PosixFile::~PosixFile() {
    if (fd_ < 0) return;
    try {
        FlushWrites();
    } catch (const FileError&) {
        // Destruction cannot report; callers that need to know use Close().
    }
    ::close(fd_);
}

void PosixFile::Fail(int errorNumber) const { Throw(path_, errorNumber); }

void PosixFile::Close() {
    if (fd_ < 0) return;
    int fd = fd_;
    try {
        FlushWrites();
    } catch (...) {
        fd_ = -1;
        ::close(fd);
        throw;
    }
    fd_ = -1;
    if (::close(fd) != 0) Fail(errno);
}

void PosixFile::Sync() {
    if (fd_ < 0) Fail(EBADF);
    FlushWrites();
    while (::fsync(fd_) != 0)
        if (errno != EINTR) Fail(errno);
}

void PosixFile::Discard() {
    if (fd_ < 0) return;
    writeFill_ = 0;
    ::close(std::exchange(fd_, -1));
}

bool PosixFile::IsSameFileAs(const std::string& path) const { return IdentityOf(path) == Identity(); }

void PosixFile::FlushWrites() {
    std::size_t done = 0;
    while (done < writeFill_) {
        ssize_t n = ::write(fd_, buffer_.get() + done, writeFill_ - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            // Keep what was not written out of any later flush: the failure
            // has been reported once and the file is not to be trusted.
            writeFill_ = 0;
            Fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    writeFill_ = 0;
}

void PosixFile::DropReadAhead() {
    if (readPos_ == readEnd_) {
        readPos_ = readEnd_ = 0;
        return;
    }
    // The descriptor is ahead of the caller by the unread bytes: step back.
    readPos_ = readEnd_ = 0;
    if (::lseek(fd_, static_cast<off_t>(position_), SEEK_SET) < 0) Fail(errno);
}

std::size_t PosixFile::ReadFromDisk(char* into, std::size_t count) {
    for (;;) {
        ssize_t n = ::read(fd_, into, count);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) Fail(errno);
    }
}

std::size_t PosixFile::Read(void* buffer, std::size_t count) {
    if (fd_ < 0) Fail(EBADF);
    FlushWrites();
    char* out = static_cast<char*>(buffer);
    std::size_t total = 0;
    while (total < count) {
        if (readPos_ == readEnd_) {
            readPos_ = readEnd_ = 0;
            std::size_t want = count - total;
            if (want >= kIoBufferSize) {
                // A large request gains nothing from the buffer.
                std::size_t n = ReadFromDisk(out + total, want);
                if (n == 0) break;
                total += n;
                position_ += n;
                continue;
            }
            readEnd_ = ReadFromDisk(buffer_.get(), kIoBufferSize);
            if (readEnd_ == 0) break;
        }
        std::size_t n = std::min(count - total, readEnd_ - readPos_);
        std::memcpy(out + total, buffer_.get() + readPos_, n);
        readPos_ += n;
        total += n;
        position_ += n;
    }
    return total;
}

void PosixFile::Write(const void* data, std::size_t count) {
    if (fd_ < 0) Fail(EBADF);
    DropReadAhead();
    const char* in = static_cast<const char*>(data);
    if (position_ > std::numeric_limits<std::uint64_t>::max() - count) Fail(EFBIG);
    while (count > 0) {
        if (writeFill_ == 0 && count >= kIoBufferSize) {
            ssize_t n = ::write(fd_, in, count);
            if (n < 0) {
                if (errno == EINTR) continue;
                Fail(errno);
            }
            in += n;
            count -= static_cast<std::size_t>(n);
            position_ += static_cast<std::uint64_t>(n);
            continue;
        }
        std::size_t n = std::min(count, kIoBufferSize - writeFill_);
        std::memcpy(buffer_.get() + writeFill_, in, n);
        writeFill_ += n;
        in += n;
        count -= n;
        position_ += n;
        if (writeFill_ == kIoBufferSize) FlushWrites();
    }
}

void PosixFile::Seek(std::uint64_t offset) {
    if (fd_ < 0) Fail(EBADF);
    FlushWrites();
    readPos_ = readEnd_ = 0;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) Fail(EOVERFLOW);
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) Fail(errno);
    position_ = offset;
}

std::uint64_t PosixFile::Length() {
    if (fd_ < 0) Fail(EBADF);
    FlushWrites();
    struct stat info {};
    if (::fstat(fd_, &info) != 0) Fail(errno);
    return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace quorlin
