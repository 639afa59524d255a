// The pure rules of the line configuration, without a device.
#include <gtest/gtest.h>

#include <cstring>

#include "serial/LineSettings.h"
#include "serial/TermiosSettings.h"

namespace quorlin {
namespace {

termios RawStart() {
    termios tio{};
    cfmakeraw(&tio);
    return tio;
}

CommState RoundTrip(const CommState& state) {
    termios tio = RawStart();
    EXPECT_TRUE(CommStateToTermios(state, tio));
    return CommStateFromTermios(tio);
}

TEST(LineSettingsText, NumericFormIsTheFixedText) {
    EXPECT_EQ(FormatLineSettings(9600, 'o', 7, 1), "baud=9600 parity=o data=7 stop=1");
}

TEST(LineSettingsText, ParsesEveryField) {
    CommState state;
    ASSERT_TRUE(ParseLineSettings("baud=115200 parity=E data=7 stop=2", state));
    EXPECT_EQ(state.baudRate, 115200u);
    EXPECT_EQ(state.parity, 'e');
    EXPECT_EQ(state.dataBits, 7);
    EXPECT_EQ(state.stopBits, StopBits::Two);
    ASSERT_TRUE(ParseLineSettings("baud=300 parity=m data=5 stop=1.5", state));
    EXPECT_EQ(state.parity, 'm');
    EXPECT_EQ(state.stopBits, StopBits::OnePointFive);
}

TEST(LineSettingsText, RejectedTextLeavesTheStateUntouched) {
    const char* rejected[] = {
        "",                                        // nothing
        "baud=9600 parity=x data=8 stop=1",       // parity letter
        "baud=9600 parity=n data=9 stop=1",       // data bits
        "baud=9600 parity=n data=4 stop=1",
        "baud=9600 parity=n data=8 stop=3",       // stop bits
        "baud=12345 parity=n data=8 stop=1",      // rate the device cannot run
        "baud= parity=n data=8 stop=1",           // empty value (text Init)
        "baud=9600x parity=n data=8 stop=1",
        "baud=9600 parity=n data=8 stop=1 odd",   // stray word
        "speed=9600",                              // unknown key
    };
    for (const char* text : rejected) {
        CommState state;
        state.baudRate = 19200;
        state.parity = 'o';
        const CommState before = state;
        EXPECT_FALSE(ParseLineSettings(text, state)) << text;
        EXPECT_EQ(state, before) << text;
    }
}

TEST(HandshakeTable, EachRowSetsItsFlowControl) {
    struct Row {
        uint8_t handshake;
        bool cts, dsr;
        LineControl rts, dtr;
        bool softOut, softIn;
    };
    const Row rows[] = {
        {0, false, false, LineControl::Unchanged, LineControl::Unchanged, false, false},
        {1, true, false, LineControl::Handshake, LineControl::Unchanged, false, false},
        {2, true, false, LineControl::Unchanged, LineControl::Handshake, false, false},
        {3, false, true, LineControl::Handshake, LineControl::Unchanged, false, false},
        {4, false, true, LineControl::Unchanged, LineControl::Handshake, false, false},
        {5, false, false, LineControl::Unchanged, LineControl::Unchanged, true, true},
    };
    for (const Row& row : rows) {
        CommState state;
        state.dsrSensitivity = true;
        state.discardNulls = true;
        ApplyHandshake(state, row.handshake);
        SCOPED_TRACE(int(row.handshake));
        EXPECT_EQ(state.outxCtsFlow, row.cts);
        EXPECT_EQ(state.outxDsrFlow, row.dsr);
        EXPECT_EQ(state.rtsControl, row.rts);
        EXPECT_EQ(state.dtrControl, row.dtr);
        EXPECT_EQ(state.outX, row.softOut);
        EXPECT_EQ(state.inX, row.softIn);
        EXPECT_FALSE(state.dsrSensitivity);
        EXPECT_FALSE(state.discardNulls);
    }
    CommState xon;
    ApplyHandshake(xon, 5);
    EXPECT_EQ(xon.xonChar, 0x11);
    EXPECT_EQ(xon.xoffChar, 0x13);
    EXPECT_EQ(xon.xonLim, 400);
    EXPECT_EQ(xon.xoffLim, 400);
}

TEST(HandshakeTable, ValuesAboveFiveOnlySwitchOffDsrSensitivityAndNulls) {
    CommState state;
    ApplyHandshake(state, 5);
    state.dsrSensitivity = true;
    state.discardNulls = true;
    CommState expected = state;
    expected.dsrSensitivity = false;
    expected.discardNulls = false;
    ApplyHandshake(state, 6);
    EXPECT_EQ(state, expected);
    ApplyHandshake(state, 255);
    EXPECT_EQ(state, expected);
}

TEST(HandshakeTable, HandshakeZeroKeepsTheLineControlOfBefore) {
    CommState state;
    ApplyHandshake(state, 1);
    ApplyHandshake(state, 0);
    EXPECT_FALSE(state.outxCtsFlow);
    EXPECT_EQ(state.rtsControl, LineControl::Handshake);
}

TEST(TermiosMapping, EveryBaudRateRoundTrips) {
    for (uint32_t baud : {50u, 300u, 1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u,
                          115200u, 230400u, 460800u, 921600u}) {
        CommState state;
        state.baudRate = baud;
        EXPECT_EQ(RoundTrip(state).baudRate, baud);
    }
}

TEST(TermiosMapping, EveryDataBitsParityAndStopBitsRoundTrip) {
    for (uint8_t data = 5; data <= 8; ++data) {
        for (char parity : {'n', 'o', 'e', 'm', 's'}) {
            for (StopBits stop : {StopBits::One, StopBits::OnePointFive, StopBits::Two}) {
                CommState state;
                state.dataBits = data;
                state.parity = parity;
                state.stopBits = stop;
                termios tio = RawStart();
                if (!IsValidFraming(state)) {
                    EXPECT_FALSE(CommStateToTermios(state, tio));
                    continue;
                }
                const CommState back = RoundTrip(state);
                EXPECT_EQ(back.dataBits, data);
                EXPECT_EQ(back.parity, parity);
                EXPECT_EQ(back.stopBits, stop);
            }
        }
    }
}

TEST(TermiosMapping, FramingThatCannotBeSentIsRefused) {
    CommState state;
    state.dataBits = 8;
    state.stopBits = StopBits::OnePointFive;
    EXPECT_FALSE(IsValidFraming(state));
    state.dataBits = 5;
    state.stopBits = StopBits::Two;
    EXPECT_FALSE(IsValidFraming(state));
    termios tio = RawStart();
    const termios before = tio;
    EXPECT_FALSE(CommStateToTermios(state, tio));
    EXPECT_EQ(0, std::memcmp(&tio, &before, sizeof tio));
}

TEST(TermiosMapping, IsARawChannel) {
    termios tio{};
    tio.c_iflag = ICRNL | IXON | ISTRIP;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ECHO | ICANON | ISIG;
    CommState state;
    ApplyHandshake(state, 5);
    ASSERT_TRUE(CommStateToTermios(state, tio));
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | ISTRIP), 0u) << "the kernel must not act on DC1/DC3";
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_NE(tio.c_cflag & CREAD, 0u);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
}

TEST(TermiosMapping, HardwareHandshakesAllUseCrtscts) {
    for (uint8_t handshake = 0; handshake <= 5; ++handshake) {
        CommState state;
        ApplyHandshake(state, handshake);
        termios tio = RawStart();
        ASSERT_TRUE(CommStateToTermios(state, tio));
        const bool hardware = handshake >= 1 && handshake <= 4;
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, hardware) << int(handshake);
        EXPECT_EQ((tio.c_iflag & IXOFF) != 0, handshake == 5) << int(handshake);
        EXPECT_EQ(CommStateFromTermios(tio).outxCtsFlow, hardware) << int(handshake);
    }
}

TEST(TermiosMapping, SoftwareFlowCharactersRoundTrip) {
    CommState state;
    ApplyHandshake(state, 5);
    state.xonChar = 0x01;
    state.xoffChar = 0x02;
    const CommState back = RoundTrip(state);
    EXPECT_TRUE(back.inX);
    EXPECT_EQ(back.xonChar, 0x01);
    EXPECT_EQ(back.xoffChar, 0x02);
}

TEST(TermiosMapping, BaudZeroKeepsTheSpeedOfBefore) {
    termios tio = RawStart();
    cfsetospeed(&tio, B4800);
    cfsetispeed(&tio, B4800);
    CommState state;
    state.baudRate = 0;
    ASSERT_TRUE(CommStateToTermios(state, tio));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B4800));
}

}  // namespace
}  // namespace quorlin
