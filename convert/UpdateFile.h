#pragma once
// The controllers' update-file format: a 22-byte header ('%', "QZ", content
// flags, version, date, byte-sum checksum, payload length; little-endian)
// followed by the payload, and the rule that accepts a plain picture bitmap.
// Every operation works through 1024-byte pieces of a fixed buffer, so memory
// does not grow with the file.

#include <array>
#include <cstdint>
#include <string>

#include "convert/SeekableFile.h"

namespace quorlin {

constexpr std::size_t kUpdateHeaderSize = 22;
constexpr std::size_t kBitmapHeadSize = 50;
constexpr std::size_t kFilePieceSize = 1024;
// 14 (file header) + 40 (info header) + 256 * 4 (colour table).
constexpr std::uint32_t kPictureBitmapPixelOffset = 1078;
constexpr std::size_t kVersionFieldSize = 4;
constexpr std::size_t kDateFieldSize = 6;
// The largest payload whose length the header's 32-bit field can hold.
constexpr std::uint64_t kMaxPayloadLength = 0xFFFFFFFFu;

using HeaderBytes = std::array<std::uint8_t, kUpdateHeaderSize>;
using BitmapHeadBytes = std::array<std::uint8_t, kBitmapHeadSize>;

// The header's fields, decoded. ToBytes/FromBytes are the one place where the
// byte layout lives.
struct UpdateFileHeader {
    static constexpr std::size_t kContentFlagsOffset = 3;
    static constexpr std::size_t kVersionOffset = 4;
    static constexpr std::size_t kDateOffset = 8;
    static constexpr std::size_t kChecksumOffset = 14;
    static constexpr std::size_t kPayloadLengthOffset = 18;

    std::uint8_t contentFlags = 0;
    std::array<std::uint8_t, kVersionFieldSize> version{};
    std::array<std::uint8_t, kDateFieldSize> date{};
    std::uint32_t checksum = 0;
    std::uint32_t payloadLength = 0;

    HeaderBytes ToBytes() const;
    // Reads the fields whatever the magic; HasUpdateMagic tells about that.
    static UpdateFileHeader FromBytes(const HeaderBytes& bytes);
};

bool HasUpdateMagic(const HeaderBytes& bytes);

// A text field as typed: the characters left-aligned, a zero byte after a text
// shorter than the field, no terminator when it fills the field; longer texts
// are cut. The rest of the field is zero.
template <std::size_t N>
std::array<std::uint8_t, N> TextField(const std::string& text) {
    std::array<std::uint8_t, N> field{};
    for (std::size_t i = 0; i < N && i < text.size(); ++i) field[i] = static_cast<std::uint8_t>(text[i]);
    return field;
}

std::uint32_t ReadLittleEndian32(const std::uint8_t* bytes);
void WriteLittleEndian32(std::uint8_t* bytes, std::uint32_t value);

// Unsigned byte sum, wrapping modulo 2^32.
std::uint32_t SumBytes(const std::uint8_t* data, std::uint32_t count);
// Continues a sum over more bytes (SumBytes is AddBytes from 0).
std::uint32_t AddBytes(std::uint32_t sum, const std::uint8_t* data, std::size_t count);

// Byte sum of the file from start to its end; the position is restored.
std::uint32_t SumFileFrom(SeekableFile& file, std::uint64_t start);

// True when the file (positioned at its start) has the magic and a checksum
// equal to the sum of everything after the header; it is then at offset 22.
bool CheckUpdateHeader(SeekableFile& file, HeaderBytes& header);

// True when the file (positioned at its start) is a bitmap whose pixels begin
// at offset 1078; checksum is then the sum from offset 50 and the file is at
// offset 1078. On false, checksum is untouched.
bool CheckPictureBitmap(SeekableFile& file, BitmapHeadBytes& head, std::uint32_t& checksum);

// The plain header for a whole source (no flags, version or date); the source
// is left at offset 0. The caller refuses sources longer than
// kMaxPayloadLength first (the length would not fit).
void BuildUpdateHeader(HeaderBytes& header, SeekableFile& source);

// Appends the whole source to out.
void CopyWholeFile(SeekableFile& source, SeekableFile& out);
// Appends the source from its current position to its end to out; returns the
// number of bytes copied. When sum is given, the copied bytes are added to it,
// so that a header can be completed without reading the source twice.
std::uint64_t CopyToEnd(SeekableFile& source, SeekableFile& out, std::uint32_t* sum = nullptr);

}  // namespace quorlin
