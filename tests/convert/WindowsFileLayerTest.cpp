// The converters' file layer where Windows differs from other systems:
// replacing a file that exists, files other handles hold, read-only files,
// device names, both slashes, and the system's error codes.

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "convert/BatchConverter.h"
#include "convert/FileError.h"
#include "convert/FileIdentity.h"
#include "convert/OutputFile.h"
#include "convert/PosixFile.h"
#include "tests/convert/ByteFiles.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin {
namespace {

using test::Bytes;
using test::TemporaryFolder;
using test::Text;

// The FileError an action throws; fails the test when it throws none.
FileError ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const FileError& error) {
        return error;
    }
    ADD_FAILURE() << "no FileError";
    return FileError(FileErrorCause::None, "");
}

// A handle on path as another program would hold it, sharing what share
// allows; closed at the end of the scope.
class OtherHandle {
public:
    OtherHandle(const std::string& path, DWORD access, DWORD share)
        : handle_(::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << path << ": " << ::GetLastError();
    }
    ~OtherHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    }
    OtherHandle(const OtherHandle&) = delete;
    OtherHandle& operator=(const OtherHandle&) = delete;

private:
    HANDLE handle_;
};

// The files in folder whose names begin with a dot: left-over temporaries.
int TemporariesIn(const TemporaryFolder& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        if (entry.path().filename().string().front() == '.') ++count;
    return count;
}

void WriteOutput(const std::string& target, const Bytes& bytes) {
    OutputFile output = OutputFile::Create(target);
    output.File().Write(bytes.data(), bytes.size());
    output.Commit();
}

TEST(CauseFromWindowsError, MapsTheSystemsCodesOntoTheSameTexts) {
    EXPECT_EQ(CauseFromWindowsError(ERROR_SUCCESS), FileErrorCause::None);
    EXPECT_EQ(CauseFromWindowsError(ERROR_FILE_NOT_FOUND), FileErrorCause::FileNotFound);
    EXPECT_EQ(CauseFromWindowsError(ERROR_PATH_NOT_FOUND), FileErrorCause::BadPath);
    EXPECT_EQ(CauseFromWindowsError(ERROR_INVALID_NAME), FileErrorCause::BadPath);
    EXPECT_EQ(CauseFromWindowsError(ERROR_TOO_MANY_OPEN_FILES), FileErrorCause::TooManyOpenFiles);
    EXPECT_EQ(CauseFromWindowsError(ERROR_ACCESS_DENIED), FileErrorCause::AccessDenied);
    EXPECT_EQ(CauseFromWindowsError(ERROR_WRITE_PROTECT), FileErrorCause::AccessDenied);
    EXPECT_EQ(CauseFromWindowsError(ERROR_SHARING_VIOLATION), FileErrorCause::SharingViolation);
    EXPECT_EQ(CauseFromWindowsError(ERROR_LOCK_VIOLATION), FileErrorCause::LockViolation);
    EXPECT_EQ(CauseFromWindowsError(ERROR_DISK_FULL), FileErrorCause::DiskFull);
    EXPECT_EQ(CauseFromWindowsError(ERROR_HANDLE_DISK_FULL), FileErrorCause::DiskFull);
    EXPECT_EQ(CauseFromWindowsError(ERROR_CRC), FileErrorCause::HardIO);
    EXPECT_EQ(CauseFromWindowsError(ERROR_HANDLE_EOF), FileErrorCause::EndOfFile);
    EXPECT_EQ(CauseFromWindowsError(ERROR_NOT_SUPPORTED), FileErrorCause::Generic);
}

TEST(WindowsOutputFile, ReplacesAnExistingTargetWholeAndLeavesNoTemporary) {
    TemporaryFolder folder;
    const std::string target = folder / "out.rom";
    test::WriteBytes(target, Text("old contents, longer than the new"));
    WriteOutput(target, Text("new"));
    EXPECT_EQ(test::ReadBytes(target), Text("new"));
    EXPECT_EQ(TemporariesIn(folder), 0);
}

TEST(WindowsOutputFile, TargetsNamedWithEitherSlashGetTheirTemporaryBesideThem) {
    TemporaryFolder folder;
    std::filesystem::create_directory(folder / "sub");
    for (const std::string& target : {folder.Path() + "/sub/a.rom", folder.Path() + "\\sub\\b.rom"}) {
        OutputFile output = OutputFile::Create(target);
        const std::string temporary = output.TemporaryPath();
        EXPECT_EQ(std::filesystem::path(temporary).parent_path(), std::filesystem::path(folder / "sub"))
            << temporary;
        output.File().Write("x", 1);
        output.Commit();
        EXPECT_EQ(test::ReadBytes(target), Text("x"));
        EXPECT_FALSE(std::filesystem::exists(temporary));
    }
}

TEST(WindowsOutputFile, AReadOnlyTargetIsRefusedAndKept) {
    TemporaryFolder folder;
    const std::string target = folder / "locked.rom";
    test::WriteBytes(target, Text("kept"));
    ASSERT_TRUE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    const FileError error = ErrorOf([&] { OutputFile::Create(target); });
    EXPECT_EQ(error.Cause(), FileErrorCause::AccessDenied);
    EXPECT_EQ(std::string(error.what()), "Access to " + target + " was denied.");
    ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(test::ReadBytes(target), Text("kept"));
    EXPECT_EQ(TemporariesIn(folder), 0);
}

// Another program holding the target without sharing writes (an editor, a
// viewer) cannot have it replaced under it: refused at once, nothing lost.
TEST(WindowsOutputFile, ATargetHeldByAnotherProgramIsRefusedAndKept) {
    TemporaryFolder folder;
    const std::string target = folder / "held.rom";
    test::WriteBytes(target, Text("kept"));
    {
        OtherHandle holder(target, GENERIC_READ, FILE_SHARE_READ);
        const FileError error = ErrorOf([&] { WriteOutput(target, Text("new")); });
        EXPECT_EQ(error.Cause(), FileErrorCause::SharingViolation) << error.what();
        EXPECT_EQ(error.Path(), target);
    }
    EXPECT_EQ(test::ReadBytes(target), Text("kept"));
    EXPECT_EQ(TemporariesIn(folder), 0);
}

// Held sharing reads and writes but not deletion, the target passes the
// checks, yet the move over it is refused while the handle is open: the old
// file stays whole and the temporary goes with the output.
TEST(WindowsOutputFile, AFailedMoveKeepsTheOldTargetAndRemovesTheTemporary) {
    TemporaryFolder folder;
    const std::string target = folder / "open.rom";
    test::WriteBytes(target, Text("kept"));
    OtherHandle holder(target, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    std::string temporary;
    {
        OutputFile output = OutputFile::Create(target);
        temporary = output.TemporaryPath();
        output.File().Write("new", 3);
        const FileError error = ErrorOf([&] { output.Commit(); });
        EXPECT_NE(error.Cause(), FileErrorCause::None);
        EXPECT_EQ(error.Path(), target);
    }
    EXPECT_EQ(test::ReadBytes(target), Text("kept"));
    EXPECT_FALSE(std::filesystem::exists(temporary));
}

TEST(WindowsPosixFile, ASourceHeldExclusivelyIsASharingViolation) {
    TemporaryFolder folder;
    const std::string source = folder / "source.bin";
    test::WriteBytes(source, Text("data"));
    OtherHandle holder(source, GENERIC_READ | GENERIC_WRITE, 0);
    const FileError error = ErrorOf([&] { PosixFile::OpenForReading(source); });
    EXPECT_EQ(error.Cause(), FileErrorCause::SharingViolation);
    EXPECT_EQ(std::string(error.what()), "A sharing violation occurred while accessing " + source + ".");
}

// A source another program is writing can still be read, as anywhere else.
TEST(WindowsPosixFile, ASourceOpenForWritingElsewhereCanBeRead) {
    TemporaryFolder folder;
    const std::string source = folder / "source.bin";
    test::WriteBytes(source, Text("data"));
    OtherHandle writer(source, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    PosixFile file = PosixFile::OpenForReading(source);
    char bytes[8] = {};
    EXPECT_EQ(file.Read(bytes, sizeof bytes), 4u);
    EXPECT_EQ(std::string(bytes, 4), "data");
}

// Device names are no files, wherever they appear; they are refused before
// they are opened (opening a serial port would raise its lines).
TEST(WindowsPosixFile, DeviceNamesAndFoldersAreRefused) {
    TemporaryFolder folder;
    for (const std::string& device : {std::string("NUL"), std::string("COM7"), folder / "nul.bin",
                                      std::string("\\\\.\\COM7")}) {
        const FileError error = ErrorOf([&] { PosixFile::OpenForReading(device); });
        EXPECT_EQ(error.Cause(), FileErrorCause::AccessDenied) << device;
        EXPECT_NE(std::string(error.what()).find("not a file"), std::string::npos) << error.what();
        EXPECT_FALSE(IdentityOf(device)) << device;
        EXPECT_EQ(ErrorOf([&] { OutputFile::Create(device); }).Cause(), FileErrorCause::AccessDenied) << device;
    }
    EXPECT_EQ(ErrorOf([&] { PosixFile::OpenForReading(folder.Path()); }).Cause(), FileErrorCause::AccessDenied);
    EXPECT_EQ(ErrorOf([&] { OutputFile::Create(folder.Path()); }).Cause(), FileErrorCause::AccessDenied);
}

TEST(WindowsFileIdentity, HardLinksAreOneFileAndCopiesAreNot) {
    TemporaryFolder folder;
    const std::string file = folder / "a.bin";
    const std::string link = folder / "b.bin";
    const std::string copy = folder / "c.bin";
    test::WriteBytes(file, Text("data"));
    test::WriteBytes(copy, Text("data"));
    ASSERT_TRUE(::CreateHardLinkA(link.c_str(), file.c_str(), nullptr));
    ASSERT_TRUE(IdentityOf(file));
    EXPECT_EQ(IdentityOf(file), IdentityOf(link));
    EXPECT_NE(IdentityOf(file), IdentityOf(copy));
    EXPECT_TRUE(PosixFile::OpenForReading(link).IsSameFileAs(file));
    EXPECT_FALSE(IdentityOf(folder / "none.bin"));
}

TEST(WindowsBatchListing, ListsWithEitherSlashAndNamesAMissingFolder) {
    TemporaryFolder folder;
    test::WriteBytes(folder / "a.bin", Text("x"));
    test::WriteBytes(folder / "B.BIN", Text("x"));
    test::WriteBytes(folder / "c.dat", Text("x"));
    for (const std::string& path : {folder.Path() + "\\", folder.Path() + "/", folder.Path()}) {
        const BatchListing listing = ListBatchFolder(path, BatchFileType::Bin);
        EXPECT_FALSE(listing.error) << *listing.error;
        EXPECT_EQ(listing.rows.size(), 2u) << path;
    }
    const std::string missing = folder / "none\\";
    const BatchListing listing = ListBatchFolder(missing, BatchFileType::Bin);
    ASSERT_TRUE(listing.error);
    EXPECT_EQ(*listing.error, missing + " was not found.");
}

}  // namespace
}  // namespace quorlin
