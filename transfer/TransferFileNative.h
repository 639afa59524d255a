#pragma once
// The transfer files' one seam to the operating system (TransferFile.cpp
// keeps the text rules and the bookkeeping). TransferFilePosix.cpp and
// TransferFileWin32.cpp implement it, one chosen by the build. Failures come
// back as values: the cause, the call, the system's error number and its
// own text, or plain words where the system's would mislead.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "convert/FileError.h"

namespace quorlin::transfer_file {

// An open file: a descriptor on POSIX, a HANDLE's value on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

enum class Access {
    Read,   // an existing file, read from its start
    Write,  // created when missing, emptied once it is ours
    // An existing program that a new one will replace: held and read, never
    // emptied; refused when it is read-only. A file that does not exist
    // gives kNoHandle with why left empty.
    Replace,
};

// An opened file, or why there is none.
struct Opened {
    Handle handle = kNoHandle;
    // Set whenever handle is kNoHandle, but for a file to replace that does
    // not exist.
    std::optional<FileFailure> failure;
};

// Opens path for a transfer: never waits (a named pipe is refused, not
// waited on), takes only regular files ("it is a folder, not a regular
// file"), and holds it exclusively against every other transfer ("another
// transfer is using it", cause LockViolation).
Opened OpenExclusive(const std::string& path, Access access);
// The file's length, which length is set to.
FileOutcome LengthOf(Handle file, std::uint64_t& length);
// Up to count bytes; 0 at the end, -1 on a failure.
long long ReadSome(Handle file, void* into, std::size_t count);
// Some of count bytes (at least one), or -1 on a failure.
long long WriteSome(Handle file, const void* data, std::size_t count);
bool SeekTo(Handle file, std::uint64_t offset);
// Fails when closing reported a late write error; the handle is gone
// either way.
FileOutcome Close(Handle file);
// Puts the file from in the place of to, replacing it in one step; when
// that fails, both files stay as they were.
FileOutcome Replace(const std::string& from, const std::string& to);
// Removes the file; false when it could not be removed.
bool Remove(const std::string& path);

}  // namespace quorlin::transfer_file
