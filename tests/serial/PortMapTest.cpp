// The port map and the start-up probe, with real links to real ptys.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "serial/PortDevice.h"
#include "serial/PortMap.h"
#include "serial/ProbePorts.h"
#include "serial/SerialDevice.h"
#include "serial/SerialPort.h"
#include "tests/support/SerialTestSupport.h"
#include "tests/support/TemporaryFolder.h"

namespace quorlin {
namespace {

using test::PortsFolder;
using test::PtyPair;

// Sets or clears an environment variable for one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = ::getenv(name)) m_old = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old) ::setenv(m_name, m_old->c_str(), 1);
        else ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(PortMap, PortsFolderIsTheWholeMap) {
    PortsFolder folder;
    PtyPair pty;
    folder.Link(5, pty.SlavePath());
    EXPECT_EQ(PortDevicePath(5), pty.SlavePath());
    EXPECT_EQ(PortDevicePath(1), "") << "the fixed table is not consulted";
    EXPECT_EQ(PortDevicePath(0), "");
}

TEST(PortMap, WithoutPortsFolderUserLinksComeBeforeTheFixedTable) {
    const test::TemporaryFolder temporary("quorlin-config");
    const auto config = temporary.Location();
    std::filesystem::create_directories(config / "Morvale CNC" / "ports");
    std::filesystem::create_symlink("/dev/null", config / "Morvale CNC" / "ports" / "COM2");
    {
        ScopedEnv noFolder(kPortsFolderVariable, nullptr);
        ScopedEnv configHome("XDG_CONFIG_HOME", config.c_str());
        EXPECT_EQ(PortDevicePath(2), "/dev/null");
        EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
        EXPECT_EQ(PortDevicePath(32), "/dev/ttyS31");
        EXPECT_EQ(PortDevicePath(33), "/dev/ttyUSB0");
        EXPECT_EQ(PortDevicePath(64), "/dev/ttyUSB31");
        EXPECT_EQ(PortDevicePath(65), "/dev/ttyACM0");
        EXPECT_EQ(PortDevicePath(96), "/dev/ttyACM31");
        EXPECT_EQ(PortDevicePath(0), "");
        EXPECT_EQ(PortDevicePath(97), "");
        EXPECT_EQ(PortDevicePath(254), "");
    }
}

TEST(ProbePorts, TakesTheFirstFiveNumbersThatOpen) {
    PortsFolder folder;
    std::vector<std::unique_ptr<PtyPair>> ptys;
    for (unsigned port : {12u, 9u, 7u, 4u, 3u, 1u}) {
        ptys.push_back(std::make_unique<PtyPair>());
        folder.Link(port, ptys.back()->SlavePath());
    }
    const std::array<unsigned, 5> expected{1, 3, 4, 7, 9};
    EXPECT_EQ(ProbePorts(), expected);
    // Each was closed again: the same probe finds them all once more.
    EXPECT_EQ(ProbePorts(), expected);
}

TEST(ProbePorts, SkipsPortsThatDoNotOpenAndLeavesEmptyEntriesZero) {
    PortsFolder folder;
    PtyPair held, free;
    folder.Link(2, held.SlavePath());
    folder.Link(6, free.SlavePath());
    folder.Link(8, "/nonexistent/device");
    const std::string plainFile = folder.Path() + "/not-a-tty";
    std::ofstream(plainFile) << "text";
    folder.Link(10, plainFile);

    CSerialPort other;
    ASSERT_TRUE(other.Open(nullptr, 2, 0));
    const std::array<unsigned, 5> expected{6, 0, 0, 0, 0};
    EXPECT_EQ(ProbePorts(), expected);
}

TEST(ProbePorts, NoPortsGivesAllZero) {
    PortsFolder folder;
    EXPECT_EQ(ProbePorts(), (std::array<unsigned, 5>{}));
}

// A link whose target is an address names a port on a device server: the
// probe lists it without connecting, a machine's address gets the link's
// number (another address a number of its own), and a server that is not
// there refuses an open that waits for the connection at once, saying where
// it tried.
TEST(PortMap, ALinkToAnAddressNamesANetworkPort) {
    PortsFolder folder;
    const std::string address = "rfc2217://127.0.0.1:9";  // discard: nobody listens on it here
    folder.Link(4, address);
    EXPECT_EQ(PortDevicePath(4), address);
    const PortTarget target = PortTargetOf(4);
    EXPECT_EQ(target.kind, PortTargetKind::Rfc2217);
    EXPECT_EQ(target.path, address);
    EXPECT_EQ(PortTargetOf(4).kind, PortTargetKindOf("RFC2217://x:1"));
    EXPECT_EQ(ProbePorts(), (std::array<unsigned, 5>{4, 0, 0, 0, 0}));

    EXPECT_EQ(RegisterNetworkPort(address), 4u);
    const unsigned other = RegisterNetworkPort("tcp://127.0.0.1:9");
    EXPECT_GE(other, kFirstRegisteredPort);
    EXPECT_EQ(RegisterNetworkPort("tcp://127.0.0.1:9"), other);
    EXPECT_EQ(PortTargetOf(other).kind, PortTargetKind::RawTcp);

    CSerialPort port(1024, OpenConnectedPortDevice);
    EXPECT_FALSE(port.Open(nullptr, other, 0));
    EXPECT_EQ(port.LastOpenFailure().operation, "connect() to 127.0.0.1:9");
    EXPECT_EQ(port.LastOpenFailure().systemError, ECONNREFUSED);
}

}  // namespace
}  // namespace quorlin
