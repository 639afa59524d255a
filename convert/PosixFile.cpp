#include "convert/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include "convert/FileError.h"

namespace quorlin {

PosixFile::PosixFile(native::FileHandle file, std::string path)
    : file_(file), path_(std::move(path)), buffer_(new char[kIoBufferSize]), identity_(native::IdentityOf(file)) {}

PosixFile PosixFile::OpenForReading(const std::string& path) { return PosixFile(native::OpenForReading(path), path); }

PosixFile PosixFile::CreateForWriting(const std::string& path) {
    return PosixFile(native::CreateForWriting(path), path);
}

PosixFile PosixFile::Adopt(native::FileHandle file, std::string pathForMessages) {
    return PosixFile(file, std::move(pathForMessages));
}

PosixFile::PosixFile(PosixFile&& other) noexcept { *this = std::move(other); }

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
    if (this != &other) {
        if (IsOpen()) native::CloseQuietly(file_);
        file_ = std::exchange(other.file_, native::kNoFile);
        path_ = std::move(other.path_);
        buffer_ = std::move(other.buffer_);
        readPos_ = std::exchange(other.readPos_, 0);
        readEnd_ = std::exchange(other.readEnd_, 0);
        writeFill_ = std::exchange(other.writeFill_, 0);
        position_ = std::exchange(other.position_, 0);
        identity_ = other.identity_;
    }
    return *this;
}

PosixFile::~PosixFile() {
    if (!IsOpen()) return;
    try {
        FlushWrites();
    } catch (const FileError&) {
        // Destruction cannot report; callers that need to know use Close().
    }
    native::CloseQuietly(file_);
}

void PosixFile::Fail(int errorNumber) const { throw FileError(CauseFromErrno(errorNumber), path_, errorNumber); }

void PosixFile::RequireOpen() const {
    if (!IsOpen()) Fail(EBADF);
}

void PosixFile::Close() {
    if (!IsOpen()) return;
    const native::FileHandle file = std::exchange(file_, native::kNoFile);
    try {
        FlushWrites(file);
    } catch (...) {
        native::CloseQuietly(file);
        throw;
    }
    native::Close(file, path_);
}

void PosixFile::Sync() {
    RequireOpen();
    FlushWrites();
    native::SyncToDevice(file_, path_);
}

void PosixFile::Discard() {
    if (!IsOpen()) return;
    writeFill_ = 0;
    native::CloseQuietly(std::exchange(file_, native::kNoFile));
}

bool PosixFile::IsSameFileAs(const std::string& path) const { return IdentityOf(path) == Identity(); }

void PosixFile::FlushWrites() { FlushWrites(file_); }

void PosixFile::FlushWrites(native::FileHandle file) {
    std::size_t done = 0;
    try {
        while (done < writeFill_) done += native::WriteSome(file, buffer_.get() + done, writeFill_ - done, path_);
    } catch (const FileError&) {
        // Keep what was not written out of any later flush: the failure has
        // been reported once and the file is not to be trusted.
        writeFill_ = 0;
        throw;
    }
    writeFill_ = 0;
}

void PosixFile::DropReadAhead() {
    if (readPos_ == readEnd_) {
        readPos_ = readEnd_ = 0;
        return;
    }
    // The file position is ahead of the caller by the unread bytes: step back.
    readPos_ = readEnd_ = 0;
    native::SeekTo(file_, position_, path_);
}

std::size_t PosixFile::ReadFromDisk(char* into, std::size_t count) {
    return native::ReadSome(file_, into, count, path_);
}

std::size_t PosixFile::Read(void* buffer, std::size_t count) {
    RequireOpen();
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
    RequireOpen();
    DropReadAhead();
    const char* in = static_cast<const char*>(data);
    if (position_ > std::numeric_limits<std::uint64_t>::max() - count) Fail(EFBIG);
    while (count > 0) {
        if (writeFill_ == 0 && count >= kIoBufferSize) {
            const std::size_t n = native::WriteSome(file_, in, count, path_);
            in += n;
            count -= n;
            position_ += n;
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
    RequireOpen();
    FlushWrites();
    readPos_ = readEnd_ = 0;
    native::SeekTo(file_, offset, path_);
    position_ = offset;
}

std::uint64_t PosixFile::Length() {
    RequireOpen();
    FlushWrites();
    return native::LengthOf(file_, path_);
}

}  // namespace quorlin
