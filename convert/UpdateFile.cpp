#include "convert/UpdateFile.h"

#include <algorithm>
#include <cstring>

namespace quorlin {

namespace {

constexpr std::uint8_t kMagic[3] = {'%', 'Q', 'Z'};
constexpr std::uint8_t kBitmapMagic[2] = {'B', 'M'};
constexpr std::size_t kBitmapPixelOffsetField = 10;

// Eight bytes at a time: the even and the odd bytes of a 64-bit word are added
// into four 16-bit lanes. A lane gains at most 2 * 255 per word, so 128 words
// fit before the lanes must be folded into the 32-bit sum.
constexpr std::size_t kWordsPerFold = 128;
constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;

std::uint32_t FoldLanes(std::uint64_t lanes) {
    return static_cast<std::uint32_t>((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) +
                                      ((lanes >> 32) & 0xFFFF) + (lanes >> 48));
}

}  // namespace

std::uint32_t ReadLittleEndian32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void WriteLittleEndian32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

HeaderBytes UpdateFileHeader::ToBytes() const {
    HeaderBytes bytes{};
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    bytes[kContentFlagsOffset] = contentFlags;
    std::memcpy(bytes.data() + kVersionOffset, version.data(), version.size());
    std::memcpy(bytes.data() + kDateOffset, date.data(), date.size());
    WriteLittleEndian32(bytes.data() + kChecksumOffset, checksum);
    WriteLittleEndian32(bytes.data() + kPayloadLengthOffset, payloadLength);
    return bytes;
}

UpdateFileHeader UpdateFileHeader::FromBytes(const HeaderBytes& bytes) {
    UpdateFileHeader header;
    header.contentFlags = bytes[kContentFlagsOffset];
    std::memcpy(header.version.data(), bytes.data() + kVersionOffset, header.version.size());
    std::memcpy(header.date.data(), bytes.data() + kDateOffset, header.date.size());
    header.checksum = ReadLittleEndian32(bytes.data() + kChecksumOffset);
    header.payloadLength = ReadLittleEndian32(bytes.data() + kPayloadLengthOffset);
    return header;
}

bool HasUpdateMagic(const HeaderBytes& bytes) { return std::memcmp(bytes.data(), kMagic, sizeof kMagic) == 0; }

std::uint32_t AddBytes(std::uint32_t sum, const std::uint8_t* data, std::size_t count) {
    while (count >= 8) {
        std::size_t words = std::min(count / 8, kWordsPerFold);
        std::uint64_t lanes = 0;
        for (std::size_t i = 0; i < words; ++i) {
            std::uint64_t word;
            std::memcpy(&word, data + 8 * i, 8);
            lanes += (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
        }
        sum += FoldLanes(lanes);
        data += 8 * words;
        count -= 8 * words;
    }
    while (count-- > 0) sum += *data++;
    return sum;
}

std::uint32_t SumBytes(const std::uint8_t* data, std::uint32_t count) { return AddBytes(0, data, count); }

std::uint32_t SumFileFrom(SeekableFile& file, std::uint64_t start) {
    const std::uint64_t remembered = file.Position();
    file.Seek(start);
    std::uint8_t piece[kFilePieceSize];
    std::uint32_t sum = 0;
    for (;;) {
        std::size_t n = file.Read(piece, sizeof piece);
        sum = AddBytes(sum, piece, n);
        if (n < sizeof piece) break;
    }
    file.Seek(remembered);
    return sum;
}

bool CheckUpdateHeader(SeekableFile& file, HeaderBytes& header) {
    if (file.Read(header.data(), header.size()) < header.size()) return false;
    if (!HasUpdateMagic(header)) return false;
    return SumFileFrom(file, kUpdateHeaderSize) == UpdateFileHeader::FromBytes(header).checksum;
}

bool CheckPictureBitmap(SeekableFile& file, BitmapHeadBytes& head, std::uint32_t& checksum) {
    if (file.Read(head.data(), head.size()) < head.size()) return false;
    if (std::memcmp(head.data(), kBitmapMagic, sizeof kBitmapMagic) != 0) return false;
    if (ReadLittleEndian32(head.data() + kBitmapPixelOffsetField) != kPictureBitmapPixelOffset) return false;
    checksum = SumFileFrom(file, kBitmapHeadSize);
    file.Seek(kPictureBitmapPixelOffset);
    return true;
}

void BuildUpdateHeader(HeaderBytes& header, SeekableFile& source) {
    UpdateFileHeader fields;
    fields.checksum = SumFileFrom(source, 0);
    fields.payloadLength = static_cast<std::uint32_t>(source.Length());
    header = fields.ToBytes();
    source.Seek(0);
}

std::uint64_t CopyToEnd(SeekableFile& source, SeekableFile& out, std::uint32_t* sum) {
    std::uint8_t piece[kFilePieceSize];
    std::uint64_t copied = 0;
    for (;;) {
        std::size_t n = source.Read(piece, sizeof piece);
        if (n > 0) out.Write(piece, n);
        if (sum) *sum = AddBytes(*sum, piece, n);
        copied += n;
        if (n < sizeof piece) break;
    }
    return copied;
}

void CopyWholeFile(SeekableFile& source, SeekableFile& out) {
    source.Seek(0);
    CopyToEnd(source, out);
}

}  // namespace quorlin
