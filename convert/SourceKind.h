#pragma once
// The kind of a converter's source, found from its path. The values are bits:
// an update file's content flags are the OR of the kinds it holds.

#include <cstdint>
#include <string>

namespace quorlin {

enum class SourceKind : std::uint8_t {
    None = 0,   // empty path, or an extension the converters do not take
    Dat = 1,    // ".dat"
    Bin = 2,    // ".bin"
    Bmp = 4,    // ".bmp"
    NoExt = 8,  // no '.' anywhere in the path, such as a font file
};

// The extension is what follows the last '.' of the whole path, compared
// without regard to case; a '.' in a folder name therefore makes None.
SourceKind KindOfPath(const std::string& path);

constexpr std::uint8_t FlagOf(SourceKind kind) { return static_cast<std::uint8_t>(kind); }

}  // namespace quorlin
