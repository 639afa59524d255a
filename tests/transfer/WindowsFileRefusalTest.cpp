// The files of a transfer on Windows: devices, pipes and folders refused
// before they are opened, the system's own reasons, and the sharing rules
// (another transfer is kept out, other programs are not).

#include <string>

#include "tests/transfer/EngineFixture.h"
#include "tests/transfer/WindowsFileAids.h"
#include "transfer/TransferFile.h"

namespace quorlin::test {
namespace {

class WindowsFiles : public EngineFixture {
protected:
    void ExpectRefused(const std::string& reason) {
        EXPECT_FALSE(engine->IsTransferring());
        EXPECT_FALSE(host.progressOpen);
        EXPECT_TRUE(host.log.empty()) << host.log;
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, "Can't open the file!");
        ASSERT_EQ(host.fileFailures.size(), 1u);
        EXPECT_NE(host.fileFailures[0].find(reason), std::string::npos) << host.fileFailures[0];
        EXPECT_EQ(port->Written(), "");
        host.messages.clear();
        host.fileFailures.clear();
    }
};

TEST_F(WindowsFiles, DevicesPipesAndFoldersAreRefusedByEveryCommand) {
    const win::NamedPipe pipe;
    ASSERT_TRUE(pipe.Made());
    for (int family : {0, 1, 4}) {
        UseFamily(family);
        engine->SendFile("NUL");
        ExpectRefused("it is a device, not a regular file");
        engine->ReceiveFile("COM7");
        ExpectRefused("it is a device, not a regular file");
        engine->SendFile(pipe.Name());
        ExpectRefused("it is a named pipe, not a regular file");
        engine->ReceiveFile(folder.string());
        ExpectRefused("it is a folder, not a regular file");
    }
    engine->DownloadFile((folder / "nul.dat").string(), DownloadKind::Interface);
    ExpectRefused("it is a device");
    engine->DownloadFile(folder.string(), DownloadKind::Interface);
    ExpectRefused("it is a folder");
    EXPECT_FALSE(pipe.SomeoneCame());
}

TEST_F(WindowsFiles, AMissingFileGivesTheSystemsReason) {
    engine->SendFile((folder / "none.nc").string());
    ExpectRefused(win::TextOf(win::SystemError::FileNotFound));
}

// An editor that holds the program without sharing it: the send is refused
// with the system's reason, not started on a file it cannot read.
TEST_F(WindowsFiles, AProgramHeldByAnotherProgramIsRefusedWithTheSystemsReason) {
    const std::string path = MakeFile("p.nc", "G1\r\n");
    const win::HeldFile editor(path, true, win::HeldFile::Sharing::Nothing);
    ASSERT_TRUE(editor.Held());
    UseFamily(1);
    engine->SendFile(path);
    ExpectRefused(win::TextOf(win::SystemError::SharingViolation));
    engine->ReceiveFile(path);
    ExpectRefused(win::TextOf(win::SystemError::SharingViolation));
}

TEST_F(WindowsFiles, AProgramOtherProgramsShareIsSent) {
    const std::string path = MakeFile("p.nc", "G1\r\n");
    const win::HeldFile writer(path, true, win::HeldFile::Sharing::ReadsAndWrites);
    ASSERT_TRUE(writer.Held());
    UseFamily(1);
    engine->SendFile(path);
    EXPECT_TRUE(engine->IsTransferring());
    EXPECT_EQ(port->Written(), "G1\n");
}

// The transfer's lock keeps out another transfer of the file, in either
// direction, while other programs still read its bytes.
TEST_F(WindowsFiles, AnotherTransferIsKeptOutButReadersAreNot) {
    const std::string path = MakeFile("p.nc", "G1\r\n");
    TransferInputFile sending;
    ASSERT_TRUE(sending.Open(path));
    ProgramWriter receiving;
    const FileOutcome refused = receiving.Open(path);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Failure().text, "another transfer is using it");
    EXPECT_EQ(refused.Failure().cause, FileErrorCause::LockViolation);
    TransferInputFile second;
    const FileOutcome refusedAgain = second.Open(path);
    ASSERT_FALSE(refusedAgain);
    EXPECT_EQ(refusedAgain.Failure().text, "another transfer is using it");
    EXPECT_EQ(ReadFile(path), "G1\r\n");
    sending.Close();
    ASSERT_TRUE(receiving.Open(path));
    EXPECT_EQ(ReadFile(path), "G1\r\n");  // kept until the new program is complete
}

TEST_F(WindowsFiles, AReadOnlyFileIsNoReceiveTargetAndIsKept) {
    const std::string path = MakeFile("r.nc", "kept");
    ASSERT_TRUE(win::SetReadOnly(path, true));
    engine->ReceiveFile(path);
    ExpectRefused(win::TextOf(win::SystemError::AccessDenied));
    win::SetReadOnly(path, false);
    EXPECT_EQ(ReadFile(path), "kept");
}

}  // namespace
}  // namespace quorlin::test
