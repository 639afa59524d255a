#include "serial/TermiosSettings.h"

#include <array>

#include "serial/LineSettings.h"

namespace quorlin {
namespace {

struct BaudEntry {
    uint32_t baud;
    speed_t speed;
};

constexpr std::array kBaudTable{
    BaudEntry{50, B50},         BaudEntry{75, B75},         BaudEntry{110, B110},
    BaudEntry{134, B134},       BaudEntry{150, B150},       BaudEntry{200, B200},
    BaudEntry{300, B300},       BaudEntry{600, B600},       BaudEntry{1200, B1200},
    BaudEntry{1800, B1800},     BaudEntry{2400, B2400},     BaudEntry{4800, B4800},
    BaudEntry{9600, B9600},     BaudEntry{19200, B19200},   BaudEntry{38400, B38400},
    BaudEntry{57600, B57600},   BaudEntry{115200, B115200}, BaudEntry{230400, B230400},
    BaudEntry{460800, B460800}, BaudEntry{500000, B500000}, BaudEntry{576000, B576000},
    BaudEntry{921600, B921600}, BaudEntry{1000000, B1000000},
    BaudEntry{1152000, B1152000}, BaudEntry{1500000, B1500000},
    BaudEntry{2000000, B2000000},
};

}  // namespace

bool BaudToSpeed(uint32_t baud, speed_t& speed) {
    for (const BaudEntry& entry : kBaudTable) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

uint32_t SpeedToBaud(speed_t speed) {
    for (const BaudEntry& entry : kBaudTable)
        if (entry.speed == speed) return entry.baud;
    return 0;
}

bool CommStateToTermios(const CommState& state, termios& tio) {
    speed_t speed = cfgetospeed(&tio);
    if (state.baudRate != 0 && !BaudToSpeed(state.baudRate, speed)) return false;
    if (!IsValidFraming(state)) return false;
    termios out = tio;
    // A raw channel: every byte passes unchanged in both directions.
    out.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXANY |
                     IXOFF | INPCK | IGNPAR | IMAXBEL | IUCLC);
    out.c_oflag &= ~OPOST;
    out.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | NOFLSH | TOSTOP);
    out.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    out.c_cflag |= CREAD | CLOCAL;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    out.c_cflag |= kSizes[state.dataBits - 5];
    switch (state.parity) {
        case 'o': out.c_cflag |= PARENB | PARODD; break;
        case 'e': out.c_cflag |= PARENB; break;
        case 'm': out.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case 's': out.c_cflag |= PARENB | CMSPAR; break;
        default: break;
    }
    // With CS5 the CSTOPB bit means 1.5 stop bits, otherwise 2.
    if (state.stopBits != StopBits::One) out.c_cflag |= CSTOPB;
    // Output that waits for a modem line is the part of a hardware handshake
    // that protects data; Linux offers it only as CRTSCTS, which also drives
    // RTS. DSR-gated output (handshakes 3 and 4) therefore waits for CTS.
    if (state.outxCtsFlow || state.outxDsrFlow) out.c_cflag |= CRTSCTS;
    if (state.inX) out.c_iflag |= IXOFF;
    out.c_cc[VSTART] = static_cast<cc_t>(state.xonChar);
    out.c_cc[VSTOP] = static_cast<cc_t>(state.xoffChar);
    // VMIN 1 on a non-blocking descriptor: an empty queue reads EAGAIN, so a
    // read of 0 bytes stays distinguishable.
    out.c_cc[VMIN] = 1;
    out.c_cc[VTIME] = 0;
    cfsetispeed(&out, speed);
    cfsetospeed(&out, speed);
    tio = out;
    return true;
}

CommState CommStateFromTermios(const termios& tio) {
    CommState state;
    state.baudRate = SpeedToBaud(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5: state.dataBits = 5; break;
        case CS6: state.dataBits = 6; break;
        case CS7: state.dataBits = 7; break;
        default: state.dataBits = 8; break;
    }
    if (!(tio.c_cflag & PARENB)) state.parity = 'n';
    else if (tio.c_cflag & CMSPAR) state.parity = (tio.c_cflag & PARODD) ? 'm' : 's';
    else state.parity = (tio.c_cflag & PARODD) ? 'o' : 'e';
    if (tio.c_cflag & CSTOPB)
        state.stopBits = state.dataBits == 5 ? StopBits::OnePointFive : StopBits::Two;
    if (tio.c_cflag & CRTSCTS) {
        state.outxCtsFlow = true;
        state.rtsControl = LineControl::Handshake;
    }
    state.inX = (tio.c_iflag & IXOFF) != 0;
    state.xonChar = tio.c_cc[VSTART];
    state.xoffChar = tio.c_cc[VSTOP];
    return state;
}

std::string SettingsNotTaken(const termios& asked, const termios& got) {
    std::string missing;
    const auto note = [&missing](const char* what) {
        if (!missing.empty()) missing += ", ";
        missing += what;
    };
    if (cfgetospeed(&asked) != cfgetospeed(&got) || cfgetispeed(&asked) != cfgetispeed(&got))
        note("baud rate");
    const bool eightBitsPlain = (got.c_cflag & CSIZE) == CS8 && !(got.c_cflag & PARENB);
    if ((asked.c_cflag & CSIZE) != (got.c_cflag & CSIZE) && !eightBitsPlain) note("data bits");
    constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;
    const tcflag_t askedParity = asked.c_cflag & PARENB ? asked.c_cflag & kParityBits : 0;
    const tcflag_t gotParity = got.c_cflag & PARENB ? got.c_cflag & kParityBits : 0;
    if (askedParity != gotParity && !eightBitsPlain) note("parity");
    if ((asked.c_cflag & CSTOPB) != (got.c_cflag & CSTOPB)) note("stop bits");
    if ((asked.c_cflag & CRTSCTS) != (got.c_cflag & CRTSCTS)) note("hardware flow control");
    if ((asked.c_iflag & (IXON | IXOFF | IXANY)) != (got.c_iflag & (IXON | IXOFF | IXANY)))
        note("XON/XOFF flow control");
    if (asked.c_cc[VSTART] != got.c_cc[VSTART] || asked.c_cc[VSTOP] != got.c_cc[VSTOP])
        note("XON/XOFF characters");
    // Anything that would change or hold back bytes on their way.
    constexpr tcflag_t kRawInput = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL;
    constexpr tcflag_t kRawLocal = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
    if ((asked.c_iflag & kRawInput) != (got.c_iflag & kRawInput) ||
        (asked.c_oflag & OPOST) != (got.c_oflag & OPOST) ||
        (asked.c_lflag & kRawLocal) != (got.c_lflag & kRawLocal) ||
        (asked.c_cflag & (CREAD | CLOCAL)) != (got.c_cflag & (CREAD | CLOCAL)) ||
        asked.c_cc[VMIN] != got.c_cc[VMIN] || asked.c_cc[VTIME] != got.c_cc[VTIME])
        note("raw mode");
    return missing;
}

}  // namespace quorlin
