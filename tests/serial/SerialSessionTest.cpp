// Line settings are verified, not assumed: what the device took is read
// back, the nearest a device can do is accepted, and XON/XOFF holds in every
// session on the same device.
#ifndef _WIN32
#include <termios.h>
#endif

#include "serial/LineSettings.h"
#ifndef _WIN32
#include "serial/TermiosSettings.h"
#endif
#include "tests/serial/SerialPortFixture.h"

namespace quorlin {
namespace {

using Sessions = SerialPortOnPty;

TEST_F(Sessions, XonXoffHoldsInThreeSessionsInARowOnOnePty) {
    for (int session = 1; session <= 3; ++session) {
        SCOPED_TRACE(session);
        test::RecordingOwner fresh;
        CloseBeforeOwnerGoes closeFirst{port};
        ASSERT_TRUE(port.Open(&fresh, kPort, 0));
        // The standard line settings: 7 bits, odd parity, which a pty does
        // not keep.
        port.Init(9600, 'o', 7, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
        ASSERT_TRUE(port.StartMonitoring());
        EXPECT_EQ(port.LastError(), "");
        EXPECT_EQ(port.LastConfigFailure().kind, PortFailureKind::None)
            << port.LastConfigFailure().systemText;
#ifndef _WIN32
        termios tio{};
        ASSERT_EQ(::tcgetattr(pty.SlaveFd(), &tio), 0);
        EXPECT_NE(tio.c_iflag & IXOFF, 0u) << "input flow is off";
#else
        CommState state;
        port.GetState(state);
        EXPECT_TRUE(state.inX) << "input flow is off";
#endif

        // Output flow: nothing passes an XOFF, everything follows the XON.
        ASSERT_TRUE(pty.Write(std::string(1, kXoff) + "m"));
        ASSERT_EQ(ReadFromPort(port, fresh, 1), "m");
        const std::string block = Pattern(3000, static_cast<unsigned>(session));
        ASSERT_TRUE(port.Write(block.data(), static_cast<uint32_t>(block.size())));
        ASSERT_TRUE(pty.Write("n"));
        ASSERT_EQ(ReadFromPort(port, fresh, 1), "n");
        EXPECT_EQ(pty.ReadAvailable(), "") << "XOFF was ignored";
        ASSERT_TRUE(pty.Write(std::string(1, kXon) + "p"));
        EXPECT_TRUE(pty.ReadExactly(block.size()) == block);
        EXPECT_EQ(ReadFromPort(port, fresh, 1), "p") << "DC1/DC3 reached the received bytes";
        port.Close();
    }
}

TEST_F(Sessions, WhatThePortReportsIsWhatTheDeviceHolds) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    for (int session = 0; session < 2; ++session) {
        port.Init(19200, 'o', 7, 2, HandshakeXonXoff, 0);
        EXPECT_EQ(port.LastConfigFailure().kind, PortFailureKind::None);
        CommState state;
        port.GetState(state);
        EXPECT_EQ(state.baudRate, 19200u);
        EXPECT_EQ(state.stopBits, StopBits::Two);
        EXPECT_TRUE(state.inX);
        EXPECT_TRUE(state.outX);
        port.Close();
        ASSERT_TRUE(port.Open(&owner, kPort, 0));
    }
}

TEST_F(Sessions, ASettingTheDeviceCannotTakeIsReportedWithItsReason) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(9600, 'n', 8, 1, HandshakeXonXoff, 0);
    // 1.5 stop bits go only with 5 data bits.
    port.Init("9600", 'n', "8", "1.5", HandshakeXonXoff, 0);
    const PortFailure failure = port.LastConfigFailure();
    EXPECT_EQ(failure.kind, PortFailureKind::Other);
#ifdef _WIN32
    EXPECT_EQ(failure.systemError, 87);  // ERROR_INVALID_PARAMETER
#else
    EXPECT_EQ(failure.systemError, EINVAL);
#endif
    EXPECT_NE(failure.systemText.find("line settings"), std::string::npos) << failure.systemText;
    EXPECT_EQ(port.LastError().rfind("SetCommState()", 0), 0u) << port.LastError();
    // The port's own output flow holds all the same.
    CommState state;
    port.GetState(state);
    EXPECT_TRUE(state.outX);
    // A later good Init clears the failure.
    port.Init(9600, 'n', 8, 1, HandshakeXonXoff, 0);
    EXPECT_EQ(port.LastConfigFailure().kind, PortFailureKind::None);
}

#ifndef _WIN32
// The judgement of a read-back, without a device.
termios Asked(char parity, uint8_t dataBits, bool inX) {
    CommState state;
    state.parity = parity;
    state.dataBits = dataBits;
    state.inX = inX;
    termios tio{};
    cfsetospeed(&tio, B9600);
    cfsetispeed(&tio, B9600);
    EXPECT_TRUE(CommStateToTermios(state, tio));
    return tio;
}

TEST(SettingsNotTaken, EverythingTakenIsNothingMissing) {
    const termios asked = Asked('o', 7, true);
    EXPECT_EQ(SettingsNotTaken(asked, asked), "");
}

TEST(SettingsNotTaken, EightBitsWithoutParityIsTheNearestToSevenWithParity) {
    const termios asked = Asked('o', 7, false);
    termios got = asked;
    got.c_cflag = (got.c_cflag & ~(CSIZE | PARENB)) | CS8;  // what a pty reads back
    EXPECT_EQ(SettingsNotTaken(asked, got), "");
}

TEST(SettingsNotTaken, SettingsThatDidNotStickAreNamed) {
    const termios asked = Asked('e', 8, true);

    termios got = asked;
    cfsetospeed(&got, B4800);
    cfsetispeed(&got, B4800);
    EXPECT_EQ(SettingsNotTaken(asked, got), "baud rate");

    got = asked;
    got.c_cflag = (got.c_cflag & ~CSIZE) | CS7;  // fewer bits, parity kept: not the nearest
    EXPECT_EQ(SettingsNotTaken(asked, got), "data bits");

    got = asked;
    got.c_cflag |= PARODD;
    EXPECT_EQ(SettingsNotTaken(asked, got), "parity");

    got = asked;
    got.c_iflag &= ~IXOFF;
    got.c_cflag |= CSTOPB;
    EXPECT_EQ(SettingsNotTaken(asked, got), "stop bits, XON/XOFF flow control");

    got = asked;
    got.c_lflag |= ICANON;
    EXPECT_EQ(SettingsNotTaken(asked, got), "raw mode");
}

#endif

}  // namespace
}  // namespace quorlin
