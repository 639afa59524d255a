// Only regular files are transferred: a named pipe, a device or a folder
// given as the file is refused at once with its reason, before anything
// could wait on it, and no transfer begins.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>

#include "tests/transfer/EngineFixture.h"

namespace quorlin::test {
namespace {

using namespace std::chrono_literals;

class FileRefusal : public EngineFixture {
protected:
    std::string MakeFifo(const std::string& name) {
        const std::string path = (folder / name).string();
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
        return path;
    }
    // Runs the entry operation on a thread of its own, so that one that
    // blocks in open() fails the test instead of hanging it: the pipe's
    // other end is then opened to set it free.
    void ExpectRefusedAtOnce(const std::function<void()>& start, const std::string& path,
                             const std::string& reason) {
        auto done = std::async(std::launch::async, start);
        if (done.wait_for(3s) != std::future_status::ready) {
            const int release = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
            done.wait();
            if (release >= 0) ::close(release);
            FAIL() << "opening " << path << " waited";
        }
        EXPECT_FALSE(engine->IsTransferring());
        EXPECT_FALSE(host.progressOpen);
        EXPECT_TRUE(host.log.empty()) << host.log;
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, "Can't open the file!");
        EXPECT_EQ(host.messages[0].caption, "Error");
        ASSERT_EQ(host.fileFailures.size(), 1u);
        EXPECT_NE(host.fileFailures[0].find(reason), std::string::npos) << host.fileFailures[0];
        host.messages.clear();
        host.fileFailures.clear();
    }
};

TEST_F(FileRefusal, NamedPipeIsRefusedByEveryCommand) {
    const std::string fifo = MakeFifo("pipe.nc");
    for (int family : {0, 1, 4}) {
        UseFamily(family);
        ExpectRefusedAtOnce([&] { engine->SendFile(fifo); }, fifo, "a named pipe");
        ExpectRefusedAtOnce([&] { engine->ReceiveFile(fifo); }, fifo, "a named pipe");
    }
    for (DownloadKind kind : kDownloadKinds)
        ExpectRefusedAtOnce([&] { engine->DownloadFile(fifo, kind); }, fifo, "a named pipe");
}

// A reader waiting on the pipe would let a blocking open for writing
// through; the receive must still refuse it rather than stream into it.
TEST_F(FileRefusal, NamedPipeWithAReaderIsNoReceiveTarget) {
    const std::string fifo = MakeFifo("pipe.nc");
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ExpectRefusedAtOnce([&] { engine->ReceiveFile(fifo); }, fifo, "a named pipe");
    ::close(reader);
}

TEST_F(FileRefusal, DevicesAndFoldersAreRefused) {
    ExpectRefusedAtOnce([&] { engine->SendFile("/dev/zero"); }, "/dev/zero", "a device");
    ExpectRefusedAtOnce([&] { engine->DownloadFile("/dev/zero", DownloadKind::Interface); }, "/dev/zero", "a device");
    ExpectRefusedAtOnce([&] { engine->ReceiveFile("/dev/null"); }, "/dev/null", "a device");
    ExpectRefusedAtOnce([&] { engine->SendFile(folder.string()); }, folder.string(), "a folder");
    ExpectRefusedAtOnce([&] { engine->ReceiveFile(folder.string()); }, folder.string(), "a folder");
}

TEST_F(FileRefusal, MissingFileGivesTheSystemsReason) {
    ExpectRefusedAtOnce([&] { engine->SendFile((folder / "none.nc").string()); }, "", "No such file");
}

TEST_F(FileRefusal, RegularFileThroughASymbolicLinkIsTaken) {
    const std::string target = MakeFile("p.nc", "g1\r\n");
    const std::string link = (folder / "link.nc").string();
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    UseFamily(1);
    engine->SendFile(link);
    EXPECT_TRUE(engine->IsTransferring());
    EXPECT_EQ(port->Written(), "G1\n");
}

// A link that points nowhere yet would have the received program made
// wherever it points, outside the folder it was received into.
TEST_F(FileRefusal, ReceiveIsNeverWrittenThroughADanglingLink) {
    const std::filesystem::path outside = folder / "outside";
    std::filesystem::create_directory(outside);
    const std::string link = (folder / "link.nc").string();
    ASSERT_EQ(::symlink((outside / "made.nc").c_str(), link.c_str()), 0);
    UseFamily(1);
    ExpectRefusedAtOnce([&] { engine->ReceiveFile(link); }, link, "a symbolic link");
    EXPECT_FALSE(std::filesystem::exists(outside / "made.nc"));
}

}  // namespace
}  // namespace quorlin::test
