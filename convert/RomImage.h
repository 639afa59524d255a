#pragma once
// ROM images: the source repeated, whole copies only, until the image holds at
// least kRomFillSize bytes.

#include <cstdint>
#include <string>

#include "convert/SeekableFile.h"

namespace quorlin {

constexpr std::uint64_t kRomFillSize = 512 * 1024;

// Appends whole copies of source to image until at least kRomFillSize bytes
// were written; returns the image's size. A source that yields no bytes (empty,
// or emptied while being copied) throws FileError rather than looping forever:
// callers refuse empty sources before they create the image.
std::uint64_t FillRomImage(SeekableFile& source, const std::string& sourcePath, SeekableFile& image);

}  // namespace quorlin
