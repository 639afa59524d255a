// A port on a device server connects in the background: no call of the
// port's owner waits for the network, and a server that never lets it in
// makes a lost port that says where it tried.
#include <gtest/gtest.h>

#include <errno.h>

#include <string>

#include "serial/PortDevice.h"
#include "tests/serial/SerialPortFixture.h"
#include "tests/support/SilentServer.h"

namespace quorlin {
namespace {

constexpr unsigned kPort = 4;

TEST(NetworkConnect, AServerThatLetsNobodyInHoldsUpNoCallOfTheOwner) {
    test::SilentServer server;
    ASSERT_TRUE(server.IsValid());
    test::PortsFolder folder;
    const std::string hostAndPort = "127.0.0.1:" + std::to_string(server.Port());
    folder.Link(kPort, "rfc2217://" + hostAndPort);

    test::RecordingOwner owner;
    CSerialPort port;
    bool opened = false;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_LT(TimeHostCall("Open", [&] { opened = port.Open(&owner, kPort, 0); }), kHostCallBound);
    ASSERT_TRUE(opened);
    EXPECT_LT(TimeHostCall("Init", [&] { port.Init(9600, 'e', 7, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY); }),
              kHostCallBound);
    ASSERT_TRUE(port.StartMonitoring());
    EXPECT_LT(TimeHostCall("Write", [&] { EXPECT_TRUE(port.WriteString("%\r\nO1\r\n")); }), kHostCallBound);

    // The connect gives up after 2 s: the port is lost, and says why.
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1, std::chrono::seconds(8)));
    const auto lostAfter = std::chrono::steady_clock::now() - started;
    std::printf("lost after %.0f ms\n", std::chrono::duration<double, std::milli>(lostAfter).count());
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 0u);
    const PortFailure why = port.LastOpenFailure();
    EXPECT_EQ(why.operation, "connect() to " + hostAndPort);
    EXPECT_EQ(why.systemError, ETIMEDOUT);
    EXPECT_LT(TimeHostCall("Close", [&] { port.Close(); }), kHostCallBound);

    // Closed while it is still connecting, with bytes it owes: at once.
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(9600, 'e', 7, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(port.StartMonitoring());
    ASSERT_TRUE(port.WriteString("%\r\n"));
    EXPECT_LT(TimeHostCall("Close", [&] { port.Close(); }), kHostCallBound);
    EXPECT_EQ(port.LastOpenFailure().kind, PortFailureKind::None);
}

TEST(NetworkConnect, ARefusedConnectionIsALostPortThatSaysWhy) {
    test::PortsFolder folder;
    folder.Link(kPort, "tcp://127.0.0.1:9");  // discard: nobody listens on it here
    test::RecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(port.StartMonitoring());
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1));
    EXPECT_TRUE(port.IsDeviceLost());
    EXPECT_FALSE(port.WriteString("%\r\n"));
    EXPECT_EQ(port.LastOpenFailure().operation, "connect() to 127.0.0.1:9");
    EXPECT_EQ(port.LastOpenFailure().systemError, ECONNREFUSED);
}

}  // namespace
}  // namespace quorlin
