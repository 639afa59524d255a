// The update-file format on real files: byte sums, the header check, the
// picture-bitmap check, building headers and copying.

#include <gtest/gtest.h>

#include <cerrno>

#include "convert/ImageCheck.h"
#include "convert/PosixFile.h"
#include "convert/UpdateFile.h"
#include "tests/convert/ByteFiles.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin {
namespace {

using test::Bytes;
using test::TemporaryFolder;

// A file with the magic, the given checksum field and payload.
Bytes UpdateFile(std::uint32_t checksum, const Bytes& payload, std::uint32_t payloadLength) {
    UpdateFileHeader header;
    header.checksum = checksum;
    header.payloadLength = payloadLength;
    HeaderBytes bytes = header.ToBytes();
    return test::Concat(Bytes(bytes.begin(), bytes.end()), payload);
}

bool CheckFile(const std::string& path, HeaderBytes* headerOut = nullptr, std::uint64_t* positionOut = nullptr) {
    PosixFile file = PosixFile::OpenForReading(path);
    HeaderBytes header{};
    bool accepted = CheckUpdateHeader(file, header);
    if (headerOut) *headerOut = header;
    if (positionOut) *positionOut = file.Position();
    return accepted;
}

TEST(ByteSum, AddsUnsignedBytes) {
    const Bytes abc = test::Text("abc");
    EXPECT_EQ(SumBytes(abc.data(), 3), 294u);
    const Bytes high = {0xFF, 0x80};
    EXPECT_EQ(SumBytes(high.data(), 2), 383u);
}

TEST(ByteSum, WrapsModulo2To32) {
    const Bytes three = {1, 2, 3};
    EXPECT_EQ(AddBytes(0xFFFFFFFFu, three.data(), three.size()), 5u);
}

TEST(ByteSum, AgreesWithOneByteAtATimeForEveryLengthAndAlignment) {
    const Bytes bytes = test::Pattern(5000, 7);
    Bytes ones(3000, 0xFF);
    for (std::size_t offset = 0; offset < 9; ++offset) {
        for (std::size_t length : {0u, 1u, 7u, 8u, 9u, 1023u, 1024u, 1025u, 4000u}) {
            Bytes slice = test::Slice(bytes, offset, offset + length);
            EXPECT_EQ(SumBytes(slice.data(), static_cast<std::uint32_t>(length)), test::ReferenceSum(slice))
                << offset << "+" << length;
        }
        EXPECT_EQ(AddBytes(0, ones.data() + offset, ones.size() - offset), 255u * (ones.size() - offset));
    }
}

// A file of bytes in folder, open for reading at offset.
PosixFile OpenAt(const TemporaryFolder& folder, const Bytes& bytes, std::uint64_t offset) {
    test::WriteBytes(folder / "f", bytes);
    PosixFile file = PosixFile::OpenForReading(folder / "f");
    file.Seek(offset);
    return file;
}

TEST(SumFileFrom, SumsFromTheOffsetAndRestoresThePosition) {
    TemporaryFolder folder;
    const Bytes bytes = test::Pattern(3000);
    PosixFile file = OpenAt(folder, bytes, 17);
    EXPECT_EQ(SumFileFrom(file, 1000), test::ReferenceSum(bytes, 1000));
    EXPECT_EQ(file.Position(), 17u);
    EXPECT_EQ(SumFileFrom(file, 3000), 0u);
    EXPECT_EQ(SumFileFrom(file, 5000), 0u);
    EXPECT_EQ(file.Position(), 17u);
}

TEST(CheckUpdateHeader, AcceptsMagicWithMatchingChecksumAndLeavesFileAfterHeader) {
    TemporaryFolder folder;
    const Bytes payload = test::Pattern(2048 + 5);
    test::WriteBytes(folder / "ok", UpdateFile(test::ReferenceSum(payload), payload, 2053));
    HeaderBytes header{};
    std::uint64_t position = 0;
    EXPECT_TRUE(CheckFile(folder / "ok", &header, &position));
    EXPECT_EQ(position, kUpdateHeaderSize);
    EXPECT_EQ(UpdateFileHeader::FromBytes(header).checksum, test::ReferenceSum(payload));

    test::WriteBytes(folder / "empty", UpdateFile(0, {}, 0));
    EXPECT_TRUE(CheckFile(folder / "empty"));
    test::WriteBytes(folder / "abc", UpdateFile(294, test::Text("abc"), 3));
    EXPECT_TRUE(CheckFile(folder / "abc"));
}

TEST(CheckUpdateHeader, IgnoresPayloadLengthFlagsVersionAndDate) {
    TemporaryFolder folder;
    Bytes file = UpdateFile(294, test::Text("abc"), 999999);
    for (std::size_t i = 3; i < 14; ++i) file[i] = 0x5A;
    test::WriteBytes(folder / "f", file);
    EXPECT_TRUE(CheckFile(folder / "f"));
}

TEST(CheckUpdateHeader, RefusesShortFilesWrongMagicAndWrongChecksum) {
    TemporaryFolder folder;
    Bytes good = UpdateFile(294, test::Text("abc"), 3);

    test::WriteBytes(folder / "short", test::Slice(UpdateFile(0, {}, 0), 0, 21));
    EXPECT_FALSE(CheckFile(folder / "short"));
    for (auto [at, letter] : {std::pair{1, 'q'}, {2, 'z'}, {0, '#'}, {2, 'X'}}) {
        Bytes bad = good;
        bad[at] = static_cast<std::uint8_t>(letter);
        test::WriteBytes(folder / "magic", bad);
        EXPECT_FALSE(CheckFile(folder / "magic")) << at << letter;
    }
    test::WriteBytes(folder / "sum", UpdateFile(295, test::Text("abc"), 3));
    EXPECT_FALSE(CheckFile(folder / "sum"));
    test::WriteBytes(folder / "huge", UpdateFile(0xFFFFFFF0u, test::Text("abc"), 3));
    EXPECT_FALSE(CheckFile(folder / "huge"));
}

TEST(CheckUpdateHeader, ComparesSumsThatWrapped) {
    // 16,843,010 bytes of 0xFF add up to 4,294,967,550: stored as 254.
    TemporaryFolder folder;
    const Bytes payload(16843010, 0xFF);
    test::WriteBytes(folder / "wrapped", UpdateFile(254, payload, static_cast<std::uint32_t>(payload.size())));
    EXPECT_TRUE(CheckFile(folder / "wrapped"));
}

Bytes Bitmap(std::uint32_t pixelOffset, std::size_t size) {
    Bytes bytes = test::Pattern(size, 3);
    bytes[0] = 'B';
    bytes[1] = 'M';
    WriteLittleEndian32(bytes.data() + 10, pixelOffset);
    return bytes;
}

TEST(CheckPictureBitmap, AcceptsPixelsAtOffset1078AndSumsFromOffset50) {
    TemporaryFolder folder;
    const Bytes bitmap = Bitmap(1078, 1078 + 640);
    test::WriteBytes(folder / "p.bmp", bitmap);
    PosixFile file = PosixFile::OpenForReading(folder / "p.bmp");
    BitmapHeadBytes head{};
    std::uint32_t checksum = 0;
    ASSERT_TRUE(CheckPictureBitmap(file, head, checksum));
    EXPECT_EQ(checksum, test::ReferenceSum(bitmap, 50));
    EXPECT_EQ(file.Position(), 1078u);
}

TEST(CheckPictureBitmap, RefusesOtherOffsetsOtherMagicAndShortFilesLeavingChecksum) {
    TemporaryFolder folder;
    struct Case {
        const char* name;
        Bytes bytes;
    };
    Bytes notBm = Bitmap(1078, 2000);
    notBm[1] = 'm';
    const Case cases[] = {{"24-bit", Bitmap(54, 2000)}, {"short", test::Slice(Bitmap(1078, 2000), 0, 49)},
                          {"magic", notBm}};
    for (const Case& c : cases) {
        test::WriteBytes(folder / c.name, c.bytes);
        PosixFile file = PosixFile::OpenForReading(folder / c.name);
        BitmapHeadBytes head{};
        std::uint32_t checksum = 12345;
        EXPECT_FALSE(CheckPictureBitmap(file, head, checksum)) << c.name;
        EXPECT_EQ(checksum, 12345u) << c.name;
    }
}

TEST(BuildUpdateHeader, DescribesTheWholeSourceAndRewindsIt) {
    TemporaryFolder folder;
    const Bytes source = test::Pattern(5000);
    PosixFile file = OpenAt(folder, source, 1234);
    HeaderBytes header{};
    header.fill(0xEE);
    BuildUpdateHeader(header, file);
    EXPECT_EQ(file.Position(), 0u);
    EXPECT_EQ(header[0], '%');
    EXPECT_EQ(header[1], 'Q');
    EXPECT_EQ(header[2], 'Z');
    for (std::size_t i = 3; i < 14; ++i) EXPECT_EQ(header[i], 0) << i;
    EXPECT_EQ(UpdateFileHeader::FromBytes(header).checksum, test::ReferenceSum(source));
    EXPECT_EQ(UpdateFileHeader::FromBytes(header).payloadLength, 5000u);
    // Little-endian on disk whatever the machine.
    EXPECT_EQ(header[18], 5000 & 0xFF);
    EXPECT_EQ(header[19], 5000 >> 8);
}

TEST(BuildUpdateHeader, EmptySourceGivesZeroChecksumAndLength) {
    TemporaryFolder folder;
    test::WriteBytes(folder / "empty", {});
    PosixFile file = PosixFile::OpenForReading(folder / "empty");
    HeaderBytes header{};
    BuildUpdateHeader(header, file);
    EXPECT_EQ(UpdateFileHeader::FromBytes(header).checksum, 0u);
    EXPECT_EQ(UpdateFileHeader::FromBytes(header).payloadLength, 0u);
}

TEST(CopyWholeFile, HeaderThenCopyMakesAFileTheCheckAccepts) {
    TemporaryFolder folder;
    for (std::size_t size : {0u, 1u, 1024u, 3072u, 3073u, 300000u}) {
        const Bytes source = test::Pattern(size, static_cast<std::uint32_t>(size));
        test::WriteBytes(folder / "src", source);
        PosixFile in = PosixFile::OpenForReading(folder / "src");
        in.Seek(size / 2);  // the copy starts from the beginning all the same
        {
            PosixFile out = PosixFile::CreateForWriting(folder / "out");
            HeaderBytes header{};
            BuildUpdateHeader(header, in);
            out.Write(header.data(), header.size());
            CopyWholeFile(in, out);
            EXPECT_EQ(in.Position(), size);
            EXPECT_EQ(out.Position(), kUpdateHeaderSize + size);
            out.Close();
        }
        const Bytes written = test::ReadBytes(folder / "out");
        EXPECT_EQ(test::Slice(written, kUpdateHeaderSize, written.size()), source) << size;
        EXPECT_TRUE(CheckFile(folder / "out")) << size;
    }
}

// A disk that fails under the reader.
class FailingDisk final : public SeekableFile {
public:
    std::size_t Read(void*, std::size_t) override {
        throw FileError(FileErrorCause::HardIO, "/media/card/SYS", EIO);
    }
    void Write(const void*, std::size_t) override {}
    void Seek(std::uint64_t offset) override { m_position = offset; }
    std::uint64_t Position() const override { return m_position; }
    std::uint64_t Length() override { return 1 << 20; }

private:
    std::uint64_t m_position = 0;
};

TEST(CheckDownloadImage, AFileThatFailsUnderTheCheckComesBackAsAFailureNotAnException) {
    for (int kind : {3, 4, 5}) {
        FailingDisk disk;
        ImageCheck check;
        ASSERT_NO_THROW(check = CheckDownloadImage(disk, kind)) << "kind " << kind;
        EXPECT_FALSE(check.accepted) << kind;
        ASSERT_TRUE(check.failure.has_value()) << kind;
        EXPECT_EQ(check.failure->cause, FileErrorCause::HardIO);
        EXPECT_EQ(check.failure->errorNumber, EIO);
        EXPECT_EQ(check.failure->text, FileError(FileErrorCause::HardIO, "/media/card/SYS").what());
    }
}

}  // namespace
}  // namespace quorlin
