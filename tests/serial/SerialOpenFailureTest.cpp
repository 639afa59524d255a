// Why a port did not open: each failure reports its kind, the failed call
// and the system's text, for the person who can do something about it.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "tests/serial/SerialPortFixture.h"

namespace quorlin {
namespace {

using OpenFailure = SerialPortOnPty;

constexpr uid_t kNobody = 65534;

// Opens the port, expects it to fail and returns why.
PortFailure FailedOpen(CSerialPort& port, unsigned number) {
    PortFailure failure;
    TimeHostCall("Open (failing)", [&] {
        EXPECT_FALSE(port.Open(nullptr, number, 0));
        failure = port.LastOpenFailure();
    });
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(failure.systemText.empty());
    EXPECT_FALSE(failure.operation.empty());
    EXPECT_EQ(port.LastError().rfind("CreateFile()", 0), 0u) << port.LastError();
    return failure;
}

TEST_F(OpenFailure, AMissingDeviceIsNotFound) {
    folder.Link(5, folder.Path() + "/no-such-device");
    PortFailure failure = FailedOpen(port, 5);
    EXPECT_EQ(failure.kind, PortFailureKind::NotFound);
    EXPECT_EQ(failure.systemError, ENOENT);
    failure = FailedOpen(port, 6);  // no link at all: the map names nothing
    EXPECT_EQ(failure.kind, PortFailureKind::NotFound);
}

TEST_F(OpenFailure, APortHeldByAnotherPortIsInUse) {
    CSerialPort holder;
    ASSERT_TRUE(holder.Open(nullptr, kPort, 0));
    const PortFailure failure = FailedOpen(port, kPort);
    EXPECT_EQ(failure.kind, PortFailureKind::InUse);
    EXPECT_EQ(failure.systemError, EBUSY);
    holder.Close();
    EXPECT_TRUE(port.Open(nullptr, kPort, 0));
    EXPECT_EQ(port.LastOpenFailure().kind, PortFailureKind::None) << "success clears the reason";
}

TEST_F(OpenFailure, APortLockedByAnotherProgramIsInUse) {
    const int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(FailedOpen(port, kPort).kind, PortFailureKind::InUse);
    ::close(other);
}

TEST_F(OpenFailure, ADeviceTheUserMayNotOpenIsPermissionDenied) {
    // The folder and the link must be readable for the unprivileged user;
    // the device itself is not.
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), geteuid() == 0 ? 0600 : 0), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            _exit(100);
        CSerialPort unprivileged;
        if (unprivileged.Open(nullptr, kPort, 0)) _exit(101);
        const PortFailure failure = unprivileged.LastOpenFailure();
        if (failure.systemError != EACCES || failure.systemText.empty()) _exit(102);
        _exit(static_cast<int>(failure.kind));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(PortFailureKind::PermissionDenied));
}

TEST_F(OpenFailure, WhatIsNoSerialDeviceIsRefusedAtOnce) {
    const std::string plain = folder.Path() + "/plain-file";
    std::ofstream(plain) << "G01 X10\n";
    const std::string pipe = folder.Path() + "/named-pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const struct {
        std::string path;
        const char* what;
    } cases[] = {{plain, "a plain file"},
                 {pipe, "a named pipe (whose open would wait for a writer)"},
                 {folder.Path(), "a folder"},
                 {"/dev/null", "a character device that is no tty"}};
    unsigned number = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        folder.Link(number, c.path);
        const auto took = TimeHostCall("Open (no serial device)", [&] {
            EXPECT_EQ(FailedOpen(port, number).kind, PortFailureKind::NotSerialDevice);
        });
        EXPECT_LT(took, kHostCallBound);
        ++number;
    }
    std::ifstream kept(plain);
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "G01 X10") << "the file was changed";
}

}  // namespace
}  // namespace quorlin
