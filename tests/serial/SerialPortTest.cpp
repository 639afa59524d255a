// Opening, closing and configuring a port on a real pseudo-terminal.
#include <sys/ioctl.h>
#include <termios.h>

#include "serial/LineSettings.h"
#include "serial/TermiosSettings.h"
#include "tests/serial/SerialPortFixture.h"

namespace quorlin {
namespace {

// What the slave's termios says, read beside the port.
termios SlaveTermios(const test::PtyPair& pty) {
    termios tio{};
    EXPECT_EQ(::tcgetattr(pty.SlaveFd(), &tio), 0);
    return tio;
}

using PortLifecycle = SerialPortOnPty;
using PortSettings = SerialPortOnPty;

TEST_F(PortLifecycle, OpensAMappedPortOnlyAndLeavesItUnconfigured) {
    EXPECT_FALSE(port.Open(&owner, 4, 0));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.Open(&owner, kPort, 0));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.PortNumber(), kPort);
}

TEST_F(PortLifecycle, OpenIsExclusiveAlsoForTheSuperuser) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    CSerialPort second;
    EXPECT_FALSE(second.Open(nullptr, kPort, 0));
    port.Close();
    EXPECT_TRUE(second.Open(nullptr, kPort, 0)) << "closing gives the device up";
}

TEST_F(PortLifecycle, OpenOnAnOpenPortClosesItFirst) {
    test::PtyPair other;
    folder.Link(4, other.SlavePath());
    OpenMonitored();
    ASSERT_TRUE(port.Open(&owner, 4, 0));
    EXPECT_EQ(port.PortNumber(), 4u);
    CSerialPort second;
    EXPECT_TRUE(second.Open(nullptr, kPort, 0)) << "the first device was released";
    // The reopened port works.
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(port.StartMonitoring());
    port.WriteString("hello");
    EXPECT_EQ(other.ReadExactly(5), "hello");
}

TEST_F(PortLifecycle, CloseIsHarmlessOnAClosedPortAndTwice) {
    port.Close();
    OpenMonitored();
    port.Close();
    port.Close();
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(PortLifecycle, AClosedPortAcceptsEveryCall) {
    char buffer[16];
    CommState state;
    CommStatus status;
    CommProperties properties;
    uint32_t value = 0;
    port.Init(9600, 'o', 7, 1, HandshakeXonXoff, EV_RXCHAR);
    port.Init("9600", 'o', "7", "1.5", HandshakeXonXoff, EV_RXCHAR);
    EXPECT_FALSE(port.StartMonitoring());
    port.StopMonitoring();
    port.Write("abc", 3);
    port.WriteString("abc");
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
    port.Purge();
    port.Flush();
    port.GetStatus(status);
    port.Set0Timeouts();
    port.GetMask(value);
    port.SetMask(EV_RXCHAR);
    port.GetState(state);
    port.SetState(state);
    port.Setup(512, 512);
    port.GetModemStatus(value);
    port.GetProperties(properties);
    port.SetRTS();
    port.ClearBREAK();
    EXPECT_FALSE(port.LastError().empty());
    EXPECT_TRUE(owner.Messages().empty());
}

TEST_F(PortLifecycle, DestroyingAMonitoringPortStopsItsThreads) {
    auto monitored = std::make_unique<CSerialPort>(kCapacity);
    ASSERT_TRUE(monitored->Open(&owner, kPort, 0));
    monitored->Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR | EV_TXEMPTY);
    ASSERT_TRUE(monitored->StartMonitoring());
    monitored->WriteString("x");
    monitored.reset();
    CSerialPort again;
    EXPECT_TRUE(again.Open(nullptr, kPort, 0));
}

TEST_F(PortLifecycle, ReadWithoutMonitoringReturnsWhatIsWaiting) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(9600, 'n', 8, 1, HandshakeNone, EV_RXCHAR);
    char buffer[8];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u) << "an empty queue reads 0 at once";
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(Eventually([&] {
        CommStatus status;
        port.GetStatus(status);
        return status.inQueue == 3;
    }));
    EXPECT_EQ(ReadAll(), "abc");
}

TEST_F(PortSettings, EveryBaudRateIsSetAndReadBack) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    for (unsigned baud : {300u, 1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u}) {
        port.Init(baud, 'n', 8, 1, HandshakeNone, 0);
        CommState state;
        port.GetState(state);
        EXPECT_EQ(state.baudRate, baud);
        const termios tio = SlaveTermios(pty);
        EXPECT_EQ(SpeedToBaud(cfgetospeed(&tio)), baud);
    }
    EXPECT_EQ(port.LastError(), "");
}

TEST_F(PortSettings, StopBitsAreSetAndReadBack) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(9600, 'n', 8, 2, HandshakeNone, 0);
    CommState state;
    port.GetState(state);
    EXPECT_EQ(state.stopBits, StopBits::Two);
    EXPECT_NE(SlaveTermios(pty).c_cflag & CSTOPB, 0u);
    port.Init(9600, 'n', 8, 1, HandshakeNone, 0);
    port.GetState(state);
    EXPECT_EQ(state.stopBits, StopBits::One);
    EXPECT_EQ(SlaveTermios(pty).c_cflag & CSTOPB, 0u);
}

TEST_F(PortSettings, SevenBitsWithParityAreAcceptedWhereThePtyKeepsEightBits) {
    // A pty transmits 8 bits without parity whatever it is told; the port
    // must not treat that as a failure.
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(9600, 'o', 7, 1, HandshakeXonXoff, EV_RXCHAR | EV_TXEMPTY);
    EXPECT_EQ(port.LastError(), "");
    CommState state;
    port.GetState(state);
    EXPECT_EQ(state.baudRate, 9600u);
    EXPECT_TRUE(state.outX);
}

TEST_F(PortSettings, EachHandshakeIsSetAndReadBack) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    for (uint8_t handshake = 0; handshake <= 5; ++handshake) {
        port.Init(9600, 'n', 8, 1, handshake, 0);
        SCOPED_TRACE(int(handshake));
        const termios tio = SlaveTermios(pty);
        const bool hardware = handshake >= 1 && handshake <= 4;
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, hardware);
        EXPECT_EQ((tio.c_iflag & IXOFF) != 0, handshake == 5);
        EXPECT_EQ(tio.c_iflag & IXON, 0u) << "output flow is the port's own";
        CommState state;
        port.GetState(state);
        EXPECT_EQ(state.outxCtsFlow, handshake == 1 || handshake == 2);
        EXPECT_EQ(state.outxDsrFlow, handshake == 3 || handshake == 4);
        EXPECT_EQ(state.outX, handshake == 5);
        EXPECT_EQ(state.inX, handshake == 5);
        if (handshake == 5) {
            EXPECT_EQ(tio.c_cc[VSTART], 0x11);
            EXPECT_EQ(tio.c_cc[VSTOP], 0x13);
            EXPECT_EQ(state.xonLim, 400);
            EXPECT_EQ(state.xoffLim, 400);
        }
        EXPECT_FALSE(state.dsrSensitivity);
    }
}

TEST_F(PortSettings, ARejectedTextKeepsTheLineSettingsButAppliesTheRest) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init(19200, 'n', 8, 2, HandshakeNone, 0);
    port.Init("fast", 'n', "8", "1", HandshakeXonXoff, EV_RXCHAR);
    CommState state;
    port.GetState(state);
    EXPECT_EQ(state.baudRate, 19200u);
    EXPECT_EQ(state.stopBits, StopBits::Two);
    EXPECT_TRUE(state.outX) << "the handshake still applies";
    uint32_t mask = 0;
    port.GetMask(mask);
    EXPECT_EQ(mask, EV_RXCHAR);
}

TEST_F(PortSettings, TheTextFormTakesOneAndAHalfStopBits) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.Init("9600", 'n', "8", "1.5", HandshakeNone, 0);
    // 1.5 stop bits go only with 5 data bits: refused by the device layer,
    // and the refusal reaches the error hook.
    EXPECT_EQ(port.LastError().rfind("SetCommState()", 0), 0u) << port.LastError();
    port.Init("4800", 'n', "5", "1.5", HandshakeNone, 0);
    CommState state;
    port.GetState(state);
    EXPECT_EQ(state.baudRate, 4800u);
}

TEST_F(PortSettings, ModemLineFailuresGoToTheErrorHook) {
    ASSERT_TRUE(port.Open(&owner, kPort, 0));
    port.SetRTS();  // a pty has no modem lines
    EXPECT_EQ(port.LastError().rfind("EscapeCommFunction()", 0), 0u) << port.LastError();
    EXPECT_TRUE(port.IsOpen());
}

}  // namespace
}  // namespace quorlin
