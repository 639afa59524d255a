// The real-file layer under the converters and the texts of its failures.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>
#include <functional>

#include "convert/FileError.h"
#include "convert/PosixFile.h"
#include "tests/convert/ByteFiles.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin {
namespace {

using test::Bytes;
using test::TemporaryFolder;

FileErrorCause CauseOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const FileError& error) {
        return error.Cause();
    }
    return FileErrorCause::None;
}

TEST(FileErrorText, NamesThePathOrAnUnnamedFile) {
    EXPECT_EQ(FileErrorText(FileErrorCause::FileNotFound, "/data/a.bin"), "/data/a.bin was not found.");
    EXPECT_EQ(FileErrorText(FileErrorCause::AccessDenied, ""), "Access to an unnamed file was denied.");
    EXPECT_EQ(FileErrorText(FileErrorCause::DiskFull, "x"), "Disk full while accessing x.");
    EXPECT_EQ(FileErrorText(FileErrorCause::BadSeek, "x"), "Seek failed on x");
    EXPECT_EQ(FileErrorText(FileErrorCause::None, "x"), "No error occurred.");
    EXPECT_EQ(FileErrorText(FileErrorCause::EndOfFile, "x"), "An attempt was made to access x past its end.");
}

TEST(FileErrorText, IsCutTo254Characters) {
    const std::string text = FileErrorText(FileErrorCause::FileNotFound, std::string(300, 'p'));
    EXPECT_EQ(text, std::string(254, 'p'));
    // A cut never leaves half of a two-byte character behind.
    std::string accented;
    for (int i = 0; i < 200; ++i) accented += "\xC3\xA9";
    const std::string cut = FileErrorText(FileErrorCause::FileNotFound, "a" + accented);
    EXPECT_EQ(cut.size(), 253u);
}

TEST(CauseFromErrno, MapsThePlatformsErrorsToTheTableCauses) {
    EXPECT_EQ(CauseFromErrno(0), FileErrorCause::None);
    EXPECT_EQ(CauseFromErrno(ENOENT), FileErrorCause::FileNotFound);
    EXPECT_EQ(CauseFromErrno(ENOTDIR), FileErrorCause::BadPath);
    EXPECT_EQ(CauseFromErrno(EMFILE), FileErrorCause::TooManyOpenFiles);
    EXPECT_EQ(CauseFromErrno(EACCES), FileErrorCause::AccessDenied);
    EXPECT_EQ(CauseFromErrno(EIO), FileErrorCause::HardIO);
    EXPECT_EQ(CauseFromErrno(ENOSPC), FileErrorCause::DiskFull);
    EXPECT_EQ(CauseFromErrno(EPROTO), FileErrorCause::Generic);
}

TEST(PosixFile, OpenFailuresCarryTheirCauseAndPath) {
    TemporaryFolder folder;
    EXPECT_EQ(CauseOf([&] { PosixFile::OpenForReading(folder / "missing.bin"); }), FileErrorCause::FileNotFound);
    EXPECT_EQ(CauseOf([&] { PosixFile::OpenForReading(folder.Path()); }), FileErrorCause::AccessDenied);
    EXPECT_EQ(CauseOf([&] { PosixFile::CreateForWriting(folder.Path()); }), FileErrorCause::AccessDenied);
    EXPECT_EQ(CauseOf([&] { PosixFile::CreateForWriting(folder / "no/such/folder"); }),
              FileErrorCause::FileNotFound);
    try {
        PosixFile::OpenForReading(folder / "missing.bin");
        FAIL();
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()), folder / "missing.bin" + " was not found.");
    }
}

TEST(PosixFile, ReadsWritesAndSeeksLikeAnUnbufferedFile) {
    // Small and large pieces, seeks back into written data and reads after
    // writes: the buffer must never show stale or misplaced bytes.
    TemporaryFolder folder;
    const Bytes data = test::Pattern(3 * PosixFile::kIoBufferSize + 777);
    {
        PosixFile out = PosixFile::CreateForWriting(folder / "f");
        out.Write(data.data(), 1000);
        out.Write(data.data() + 1000, PosixFile::kIoBufferSize + 5);
        out.Write(data.data() + 1000 + PosixFile::kIoBufferSize + 5,
                  data.size() - 1000 - PosixFile::kIoBufferSize - 5);
        EXPECT_EQ(out.Length(), data.size());
        out.Seek(10);
        const Bytes patch = {1, 2, 3};
        out.Write(patch.data(), patch.size());
        EXPECT_EQ(out.Position(), 13u);
        out.Close();
    }
    Bytes expected = data;
    expected[10] = 1, expected[11] = 2, expected[12] = 3;
    EXPECT_EQ(test::ReadBytes(folder / "f"), expected);

    PosixFile in = PosixFile::OpenForReading(folder / "f");
    Bytes piece(1024);
    ASSERT_EQ(in.Read(piece.data(), 1024), 1024u);
    EXPECT_EQ(piece, test::Slice(expected, 0, 1024));
    in.Seek(expected.size() - 100);
    EXPECT_EQ(in.Read(piece.data(), 1024), 100u);
    EXPECT_EQ(test::Slice(piece, 0, 100), test::Slice(expected, expected.size() - 100, expected.size()));
    EXPECT_EQ(in.Read(piece.data(), 1024), 0u);
    in.Seek(5);
    Bytes big(2 * PosixFile::kIoBufferSize);
    ASSERT_EQ(in.Read(big.data(), big.size()), big.size());
    EXPECT_EQ(big, test::Slice(expected, 5, 5 + big.size()));
    EXPECT_EQ(in.Position(), 5 + big.size());
}

TEST(PosixFile, CreatingTruncatesAndLengthCountsBufferedBytes) {
    TemporaryFolder folder;
    test::WriteBytes(folder / "f", test::Pattern(4000));
    PosixFile out = PosixFile::CreateForWriting(folder / "f");
    const Bytes data = test::Pattern(1500, 9);
    out.Write(data.data(), data.size());
    EXPECT_EQ(out.Length(), 1500u);  // a length asked for counts what is buffered
    out.Close();
    EXPECT_EQ(test::ReadBytes(folder / "f"), data);
}

TEST(PosixFile, CloseReportsAWriteThatDidNotReachTheDisk) {
    struct stat info {};
    if (::stat("/dev/full", &info) != 0) GTEST_SKIP() << "no /dev/full";
    PosixFile out = PosixFile::CreateForWriting("/dev/full");
    const Bytes data(100, 1);
    out.Write(data.data(), data.size());  // buffered: the failure shows at Close
    EXPECT_EQ(CauseOf([&] { out.Close(); }), FileErrorCause::DiskFull);
    EXPECT_FALSE(out.IsOpen());
}

TEST(PosixFile, KnowsWhenAPathNamesItself) {
    TemporaryFolder folder;
    test::WriteBytes(folder / "a", {1});
    test::WriteBytes(folder / "b", {1});
    ASSERT_EQ(::symlink((folder / "a").c_str(), (folder / "link").c_str()), 0);
    PosixFile a = PosixFile::OpenForReading(folder / "a");
    EXPECT_TRUE(a.IsSameFileAs(folder / "a"));
    EXPECT_TRUE(a.IsSameFileAs(folder / "link"));
    EXPECT_FALSE(a.IsSameFileAs(folder / "b"));
    EXPECT_FALSE(a.IsSameFileAs(folder / "missing"));
}

}  // namespace
}  // namespace quorlin
