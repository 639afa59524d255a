#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "sim/SimPty.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin::sim {
namespace {

namespace fs = std::filesystem;

class SimPtyTest : public ::testing::Test {
protected:
    test::TemporaryFolder temporary_{"quorlin-simpty"};
    const std::string folder_ = temporary_.Path();
};

// Opens `path` as the PC does (exclusive), closes it again, and reports
// whether the open succeeded. Run as an unprivileged user where possible:
// privileged openers are let through an exclusive mark anyway.
bool OpenExclusiveAndClose(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) _exit(1);
        ioctl(fd, TIOCEXCL);
        close(fd);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(SimPtyTest, LinkLeadsToThePtyAndGoesWithIt) {
    std::string error;
    const std::string link = folder_ + "/ports/COM7";
    {
        auto pty = SimPty::Create(folder_ + "/ports", 7, error);
        ASSERT_TRUE(pty) << error;
        EXPECT_EQ(fs::read_symlink(link), pty->Device());
        EXPECT_TRUE(fs::exists(link));
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(SimPtyTest, LinkOfADeadSimulatorIsReplacedALiveOneIsNot) {
    std::string error;
    fs::create_symlink("/dev/pts/no-such-device", folder_ + "/COM1");
    auto first = SimPty::Create(folder_, 1, error);
    ASSERT_TRUE(first) << error;
    auto second = SimPty::Create(folder_, 1, error);
    EXPECT_FALSE(second);
    EXPECT_NE(error.find("COM1"), std::string::npos);
}

TEST_F(SimPtyTest, PortOpensAgainAfterAnExclusiveOpenerClosedIt) {
    std::string error;
    auto pty = SimPty::Create(folder_, 2, error);
    ASSERT_TRUE(pty) << error;
    if (pty->WatchDescriptor() < 0) GTEST_SKIP() << "opens and closes of the device cannot be watched here";
    chmod(pty->Device().c_str(), 0666);
    chmod(folder_.c_str(), 0755);
    ASSERT_TRUE(OpenExclusiveAndClose(folder_ + "/COM2"));
    int opens = 0;
    int closes = 0;
    pty->ReadWatchEvents(opens, closes);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(closes, 1);
    pty->ReleaseExclusive();
    EXPECT_TRUE(OpenExclusiveAndClose(folder_ + "/COM2"));
}

}  // namespace
}  // namespace quorlin::sim
