// The download's checks of an image on real files: CheckUpdateHeader and
// CheckPictureBitmap must accept exactly what a model of the format accepts,
// report the same checksum and leave the file where the format says; a header
// built for any file must make header plus file acceptable; SumFileFrom must
// sum from any offset and restore the position.
//
// Input: one byte of shaping choices, then the file's bytes. The choices set
// the magic, a true checksum or the bitmap's pixel offset, so that accepted
// files are as common as refused ones, and may grow the file past the file
// layer's read-ahead buffer.

#include <fcntl.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "convert/PosixFile.h"
#include "convert/UpdateFile.h"
#include "tests/fuzz/FuzzSupport.h"

namespace quorlin::fuzz {
namespace {

// The format, as the download reads it.
constexpr size_t kHeaderSize = 22;
constexpr size_t kChecksumAt = 14;
constexpr size_t kPayloadLengthAt = 18;
constexpr size_t kBitmapHeadSize = 50;
constexpr size_t kPixelOffsetAt = 10;
constexpr uint32_t kPixelOffset = 1078;

enum Shape : uint8_t {
    kSetUpdateMagic = 1 << 0,
    kSetTrueChecksum = 1 << 1,   // and, with kNudgeChecksum, one off
    kNudgeChecksum = 1 << 2,
    kSetBitmapHead = 1 << 3,
    kGrowPastReadAhead = 0xF0,  // all four bits: one input in sixteen
};
// Grown files end near the end of the file layer's first read-ahead buffer,
// where the 1024-byte pieces and the buffer's refills meet.
constexpr size_t kGrowthLow = PosixFile::kIoBufferSize - 2 * kFilePieceSize;
constexpr size_t kGrowthHigh = PosixFile::kIoBufferSize + 2 * kFilePieceSize;

uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    return value;
}

void PutLe32(std::string& bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

uint32_t PlainSum(const std::string& bytes, size_t from) {
    uint32_t sum = 0;
    for (size_t i = from; i < bytes.size(); ++i) sum += static_cast<uint8_t>(bytes[i]);
    return sum;
}

// A file and the byte sum of all of it: the sum from an offset is that sum
// less the bytes before the offset.
struct Image {
    explicit Image(std::string content) : bytes(std::move(content)), total(PlainSum(bytes, 0)) {}
    uint32_t SumFrom(uint64_t offset) const {
        if (offset >= bytes.size()) return 0;
        uint32_t before = 0;
        for (size_t i = 0; i < offset; ++i) before += static_cast<uint8_t>(bytes[i]);
        return total - before;
    }

    std::string bytes;
    uint32_t total;
};

bool ModelUpdateAccepted(const Image& file) {
    return file.bytes.size() >= kHeaderSize && file.bytes.compare(0, 3, "%QZ") == 0 &&
           Le32(file.bytes, kChecksumAt) == file.SumFrom(kHeaderSize);
}

bool ModelBitmapAccepted(const std::string& file) {
    return file.size() >= kBitmapHeadSize && file.compare(0, 2, "BM") == 0 &&
           Le32(file, kPixelOffsetAt) == kPixelOffset;
}

std::string Shaped(FuzzedDataProvider& in) {
    const uint8_t shape = in.ConsumeIntegral<uint8_t>();
    size_t growth = 0;
    if ((shape & kGrowPastReadAhead) == kGrowPastReadAhead) growth = in.ConsumeIntegralInRange<size_t>(kGrowthLow, kGrowthHigh);
    std::string file = in.ConsumeRemainingBytesAsString();
    // Growth repeats the input's own bytes, so the sums stay driven by it.
    if (growth > 0) {
        const std::string pattern = file.empty() ? std::string(1, '\xA5') : file;
        while (file.size() < growth) file += pattern;
    }
    if ((shape & kSetUpdateMagic) && file.size() >= 3) file.replace(0, 3, "%QZ");
    if ((shape & kSetBitmapHead) && file.size() >= kPixelOffsetAt + 4) {
        file.replace(0, 2, "BM");
        PutLe32(file, kPixelOffsetAt, kPixelOffset);
    }
    if ((shape & kSetTrueChecksum) && file.size() >= kHeaderSize)
        PutLe32(file, kChecksumAt, PlainSum(file, kHeaderSize) + ((shape & kNudgeChecksum) ? 1 : 0));
    return file;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0, path);
    FUZZ_CHECK(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), path);
    ::close(fd);
}

std::string ReadFile(const std::string& path) {
    PosixFile file = PosixFile::OpenForReading(path);
    std::string bytes(file.Length(), '\0');
    FUZZ_CHECK(file.Read(bytes.data(), bytes.size()) == bytes.size(), path);
    return bytes;
}

void CheckUpdateHeaderAgrees(const std::string& path, const Image& image) {
    const std::string& bytes = image.bytes;
    PosixFile file = PosixFile::OpenForReading(path);
    HeaderBytes header{};
    const bool accepted = CheckUpdateHeader(file, header);
    FUZZ_CHECK(accepted == ModelUpdateAccepted(image), "file " + Escaped(bytes));
    if (bytes.size() >= kHeaderSize)
        FUZZ_CHECK(std::memcmp(header.data(), bytes.data(), kHeaderSize) == 0, "header buffer");
    if (accepted) FUZZ_CHECK(file.Position() == kHeaderSize, "position after an accepted header");
}

void CheckPictureBitmapAgrees(const std::string& path, const Image& image) {
    const std::string& bytes = image.bytes;
    PosixFile file = PosixFile::OpenForReading(path);
    BitmapHeadBytes head{};
    constexpr uint32_t kUntouched = 0xDEADBEEF;
    uint32_t checksum = kUntouched;
    const bool accepted = CheckPictureBitmap(file, head, checksum);
    FUZZ_CHECK(accepted == ModelBitmapAccepted(bytes), "file " + Escaped(bytes));
    if (accepted) {
        FUZZ_CHECK(checksum == image.SumFrom(kBitmapHeadSize), "bitmap checksum");
        FUZZ_CHECK(file.Position() == kPixelOffset, "position after an accepted bitmap");
    } else {
        FUZZ_CHECK(checksum == kUntouched, "checksum set on a refused bitmap");
        FUZZ_CHECK(file.Position() == std::min(bytes.size(), kBitmapHeadSize), "position after a refusal");
    }
}

void CheckSumFromAnyOffset(const std::string& path, const Image& image, uint64_t offset, uint64_t position) {
    PosixFile file = PosixFile::OpenForReading(path);
    file.Seek(position);
    const uint32_t sum = SumFileFrom(file, offset);
    FUZZ_CHECK(sum == image.SumFrom(offset),
               "offset " + std::to_string(offset) + " of " + std::to_string(image.bytes.size()));
    FUZZ_CHECK(file.Position() == position, "SumFileFrom moved the file");
}

// A header built for the file, followed by the file, is an acceptable update
// file whose header describes exactly that payload.
void CheckBuiltHeaderRoundTrips(const std::string& path, const Image& image, const std::string& outPath) {
    const std::string& bytes = image.bytes;
    PosixFile source = PosixFile::OpenForReading(path);
    HeaderBytes header{};
    BuildUpdateHeader(header, source);
    FUZZ_CHECK(source.Position() == 0, "BuildUpdateHeader left the source moved");
    PosixFile out = PosixFile::CreateForWriting(outPath);
    out.Write(header.data(), header.size());
    CopyWholeFile(source, out);
    out.Close();

    const Image built(ReadFile(outPath));
    const std::string& written = built.bytes;
    FUZZ_CHECK(written.size() == kHeaderSize + bytes.size() && written.compare(kHeaderSize, std::string::npos, bytes) == 0,
               "the copy after the header is not the file");
    FUZZ_CHECK(written.compare(0, 3, "%QZ") == 0, "magic");
    for (size_t i = 3; i < kChecksumAt; ++i) FUZZ_CHECK(written[i] == '\0', "flags, version and date not zero");
    FUZZ_CHECK(Le32(written, kPayloadLengthAt) == bytes.size(), "payload length");
    FUZZ_CHECK(Le32(written, kChecksumAt) == image.SumFrom(0), "checksum");
    FUZZ_CHECK(ModelUpdateAccepted(built), "the built header does not check");
    CheckUpdateHeaderAgrees(outPath, built);
}

}  // namespace
}  // namespace quorlin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorlin::fuzz;
    FuzzedDataProvider in(data, size);
    // The offsets come from the input's end, before the rest becomes the file.
    const uint64_t sumOffset = in.ConsumeIntegralInRange<uint64_t>(0, kGrowthHigh + quorlin::kFilePieceSize);
    const uint64_t sumPosition = in.ConsumeIntegralInRange<uint64_t>(0, kGrowthHigh + quorlin::kFilePieceSize);
    const Image image(Shaped(in));

    const std::string path = (ScratchFolder::Path() / "image").string();
    const std::string outPath = (ScratchFolder::Path() / "built").string();
    WriteFile(path, image.bytes);
    CheckUpdateHeaderAgrees(path, image);
    CheckPictureBitmapAgrees(path, image);
    CheckSumFromAnyOffset(path, image, sumOffset, sumPosition);
    CheckBuiltHeaderRoundTrips(path, image, outPath);
    return 0;
}
