#pragma once
// A real file on disk behind the SeekableFile seam, through the system's own
// calls (NativeFile.h: POSIX or Win32, chosen by the build).
//
// Reads and writes go through one fixed buffer of kIoBufferSize bytes, so the
// converters' 1024-byte pieces cost one system call per buffer, not per piece,
// and memory stays the same whatever the file's size.

#include <cstdint>
#include <memory>
#include <string>

#include "convert/FileIdentity.h"
#include "convert/NativeFile.h"
#include "convert/SeekableFile.h"

namespace quorlin {

class PosixFile final : public SeekableFile {
public:
    static constexpr std::size_t kIoBufferSize = 64 * 1024;

    // Opens an existing regular file for reading. A folder is refused as
    // access denied; a device, pipe or socket is refused before anything is
    // read from it (a pipe without a writer does not hold the open, and a
    // device such as /dev/zero never ends). Failures throw FileError naming
    // path.
    static PosixFile OpenForReading(const std::string& path);
    // Creates path for writing, truncating a file that is there.
    static PosixFile CreateForWriting(const std::string& path);
    // Takes over an open file; failures name pathForMessages, which
    // may differ from the file's own name (a temporary file is reported by
    // the name of the file it will become).
    static PosixFile Adopt(native::FileHandle file, std::string pathForMessages);

    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    // Closes without reporting; call Close() where a failed flush matters.
    ~PosixFile() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* data, std::size_t count) override;
    void Seek(std::uint64_t offset) override;
    std::uint64_t Position() const override { return position_; }
    std::uint64_t Length() override;

    // Writes what is buffered and closes; a failure throws FileError, so a
    // file that did not reach the disk is never taken for written.
    void Close();
    // Writes what is buffered and waits until the device holds it.
    void Sync();
    // Closes, dropping whatever is still buffered, and reports nothing: for
    // a file that is being thrown away.
    void Discard();
    bool IsOpen() const { return file_ != native::kNoFile; }
    const std::string& Path() const { return path_; }
    // True when path names this very file (same volume and file number), for
    // refusing to truncate a file that is being read.
    bool IsSameFileAs(const std::string& path) const;
    FileIdentity Identity() const { return identity_; }

private:
    PosixFile(native::FileHandle file, std::string path);
    [[noreturn]] void Fail(int errorNumber) const;
    void RequireOpen() const;
    void FlushWrites();
    void FlushWrites(native::FileHandle file);
    void DropReadAhead();
    std::size_t ReadFromDisk(char* into, std::size_t count);

    native::FileHandle file_ = native::kNoFile;
    std::string path_;
    std::unique_ptr<char[]> buffer_;
    // Read-ahead: bytes [readPos_, readEnd_) of buffer_ are the file's next bytes.
    std::size_t readPos_ = 0;
    std::size_t readEnd_ = 0;
    // Pending writes: the first writeFill_ bytes of buffer_, to go at position_ - writeFill_.
    std::size_t writeFill_ = 0;
    std::uint64_t position_ = 0;  // logical position seen by the caller
    FileIdentity identity_;
};

}  // namespace quorlin
