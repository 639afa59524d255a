#pragma once
// An output of the converters, written to a temporary file beside its target
// and put in the target's place only when it is whole.
//
// Until Commit() the target keeps what it held before: a conversion that
// fails part-way (a full disk, a read error, a crash) never leaves a
// truncated file under the target's name, and of two conversions writing one
// target at once the later rename wins with a complete file. A temporary file
// that is not committed is removed when the object goes.

#include <optional>
#include <string>

#include "convert/PosixFile.h"

namespace quorlin {

class OutputFile {
public:
    // Prepares to replace target. A target that exists must be a regular file
    // that may be written (a folder, a device or a write-protected file is
    // refused as opening it for writing would be); a symbolic link is
    // followed, so the file it leads to is replaced and the link stays.
    // Failures throw FileError naming target.
    static OutputFile Create(const std::string& target);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // The file to write; its failures name the target.
    PosixFile& File() { return file_; }

    // Writes everything to the device, closes, and renames the file into the
    // target's place. A failure throws FileError naming the target; the
    // target is then unchanged and the temporary file removed.
    void Commit();

    const std::string& Target() const { return target_; }
    // The temporary file's path (for tests and diagnostics).
    const std::string& TemporaryPath() const { return temporary_; }

private:
    OutputFile(PosixFile file, std::string target, std::string destination, std::string temporary);
    void RemoveTemporary();

    PosixFile file_;
    std::string target_;       // as the caller named it, for messages
    std::string destination_;  // the path renamed onto: target, links followed
    std::string temporary_;    // empty once committed or removed
};

}  // namespace quorlin
