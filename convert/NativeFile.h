#pragma once
// The converters' one seam to the operating system's files. PosixFile,
// OutputFile and the batch converter keep their logic (buffering, the
// temporary-file rules, the listing's filter) in portable code and reach the
// system only through these calls; NativeFilePosix.cpp and
// NativeFileWin32.cpp implement them, one chosen by the build.
//
// Every call that fails throws FileError naming pathForMessages, with the
// cause mapped from the system's own error code.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/FileError.h"
#include "convert/FileIdentity.h"

namespace quorlin::native {

// An open file: a descriptor on POSIX, a HANDLE's value on Windows.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Opens an existing regular file for reading. A folder is refused as access
// denied; a device, pipe or socket is refused (FileError::NotRegularFile)
// before anything is read from it.
FileHandle OpenForReading(const std::string& path);
// Creates path for writing, emptying a file that is there.
FileHandle CreateForWriting(const std::string& path);

// Up to count bytes at the file position; 0 only at the end of the file.
std::size_t ReadSome(FileHandle file, void* into, std::size_t count, const std::string& pathForMessages);
// Writes some of count bytes (at least one) at the file position.
std::size_t WriteSome(FileHandle file, const void* data, std::size_t count, const std::string& pathForMessages);
void SeekTo(FileHandle file, std::uint64_t offset, const std::string& pathForMessages);
std::uint64_t LengthOf(FileHandle file, const std::string& pathForMessages);
// Waits until the device holds everything written.
void SyncToDevice(FileHandle file, const std::string& pathForMessages);
// Closes; a late write error is reported.
void Close(FileHandle file, const std::string& pathForMessages);
// Closes and reports nothing: for a file being thrown away.
void CloseQuietly(FileHandle file) noexcept;
// Which file this is; {} when the system cannot tell.
FileIdentity IdentityOf(FileHandle file) noexcept;

// A new file beside the one it is to replace.
struct Replacement {
    FileHandle file = kNoFile;
    std::string destination;  // the path to put it in place of: target, links followed
    std::string temporary;    // the new file's own path
};
// Refuses a target that opening it for writing would refuse (a folder, a
// device, a write-protected file), then creates a fresh temporary file in the
// target's folder (TemporaryPathFor) that takes over what the replaced file
// hands on (its permissions). Failures name target.
Replacement CreateReplacement(const std::string& target);
// The temporary file's path for destination, unique by the process and a
// number (OutputFile.cpp, the same on every platform).
std::string TemporaryPathFor(const std::string& destination, std::uint64_t processId, std::uint64_t number);
// Puts temporary in destination's place in one step, so that destination
// names either the old file or the whole new one; failures name target.
void Replace(const std::string& temporary, const std::string& destination, const std::string& target);
// Removes a file nobody needs any more; reports nothing.
void RemoveQuietly(const std::string& path) noexcept;

// The names in folder (the current folder when empty), "." and ".." left
// out. A folder that cannot be listed gives its cause (FileNotFound when it
// is not there) and no names; FileErrorCause::None otherwise.
FileErrorCause ListFolder(const std::string& folder, std::vector<std::string>& names);
// Makes the folder unless something is there under that name already. A
// failure shows when a file in it is created.
void MakeFolderIfMissing(const std::string& path) noexcept;

}  // namespace quorlin::native
