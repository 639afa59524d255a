#pragma once
// The file seam of the converters: an open file that can be read, written and
// positioned. The update-file rules work on this interface only, so they never
// open or close anything themselves.

#include <cstddef>
#include <cstdint>

namespace quorlin {

class SeekableFile {
public:
    virtual ~SeekableFile() = default;

    // Reads up to count bytes at the current position; fewer only at the end
    // of the file (0 there). Failures throw FileError.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Writes count bytes at the current position. Failures throw FileError.
    virtual void Write(const void* data, std::size_t count) = 0;
    // Moves to an absolute offset from the start; past the end is allowed
    // (reads there return 0).
    virtual void Seek(std::uint64_t offset) = 0;
    virtual std::uint64_t Position() const = 0;
    virtual std::uint64_t Length() = 0;
};

}  // namespace quorlin
