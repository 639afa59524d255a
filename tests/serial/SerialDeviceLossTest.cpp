// A device that goes away under a monitored port: reported once, nothing
// hangs, later calls are harmless.
#include <errno.h>
#ifndef _WIN32
#include <sys/ioctl.h>
#endif

#include <cstring>

#include "tests/serial/SerialPortFixture.h"

namespace quorlin {
namespace {

using DeviceLoss = SerialPortOnPty;

// Every call a user may still make after the loss.
void UseAfterLoss(CSerialPort& port) {
    char buffer[16];
    CommStatus status;
    CommState state;
    port.WriteString("late");
    port.Read(buffer, sizeof buffer);
    port.Init(9600, 'o', 7, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    port.Purge();
    port.GetStatus(status);
    port.GetState(state);
    port.WriteString("later");
}

TEST_F(DeviceLoss, AClosedMasterIsReportedOnce) {
    OpenMonitored();
    ASSERT_TRUE(pty.Write("bye"));
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_RXDATA, 1));
    pty.CloseMaster();
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1));
    EXPECT_TRUE(port.IsDeviceLost());
    EXPECT_EQ(ReadAll(), "bye") << "bytes received before the loss stay readable";
    UseAfterLoss(port);
    port.Close();  // joins the reader: whatever it posted is in by now
    EXPECT_EQ(owner.Count(WM_SERIAL_DEVLOST), 1u);
    EXPECT_EQ(owner.Messages().back().message, WM_SERIAL_DEVLOST);
}

// A hang-up of the line with the device still there is a tty's; Windows has
// no such state, and under Wine the pty's slave belongs to the port host.
#ifndef _WIN32
TEST_F(DeviceLoss, AHangUpIsReportedOnce) {
    OpenMonitored();
    if (::ioctl(pty.SlaveFd(), TIOCVHANGUP) != 0)
        GTEST_SKIP() << "hanging up a tty needs CAP_SYS_ADMIN: " << std::strerror(errno);
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1));
    UseAfterLoss(port);
    port.Close();
    EXPECT_EQ(owner.Count(WM_SERIAL_DEVLOST), 1u);
}

TEST_F(DeviceLoss, APortCanBeOpenedAgainAfterAHangUp) {
    OpenMonitored();
    if (::ioctl(pty.SlaveFd(), TIOCVHANGUP) != 0)
        GTEST_SKIP() << "hanging up a tty needs CAP_SYS_ADMIN: " << std::strerror(errno);
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1));
    test::RecordingOwner fresh;
    CloseBeforeOwnerGoes closeFirst{port};
    ASSERT_TRUE(port.Open(&fresh, kPort, 0));
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(port.StartMonitoring());
    EXPECT_FALSE(port.IsDeviceLost());
    port.WriteString("again");
    EXPECT_EQ(pty.ReadExactly(5), "again");
    EXPECT_TRUE(fresh.WaitForCount(WM_SERIAL_TXEMPTY, 1));
}
#endif

TEST_F(DeviceLoss, ALossDuringAWriteToAFullDeviceIsReportedAndNothingHangs) {
    CSerialPort big(256 * 1024);
    ASSERT_TRUE(big.Open(&owner, kPort, 0));
    big.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(big.StartMonitoring());
    const std::string block = Pattern(256 * 1024);
    big.Write(block.data(), static_cast<uint32_t>(block.size()));
    ASSERT_EQ(pty.ReadExactly(1).size(), 1u);
    pty.CloseMaster();
    ASSERT_TRUE(owner.WaitForCount(WM_SERIAL_DEVLOST, 1));
    UseAfterLoss(big);
    big.Close();
    EXPECT_EQ(owner.Count(WM_SERIAL_DEVLOST), 1u);
    EXPECT_EQ(owner.Count(WM_SERIAL_TXEMPTY), 0u) << "the block never left";
}

TEST_F(DeviceLoss, ALossIsNotReportedWithoutMonitoring) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    pty.CloseMaster();
    UseAfterLoss(port);
    port.Close();
    EXPECT_TRUE(owner.Messages().empty());
}

}  // namespace
}  // namespace quorlin
