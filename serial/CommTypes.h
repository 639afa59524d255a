#pragma once
// The port's own small records for the line configuration, the queue status
// and the device's abilities. They carry only the fields this program uses,
// named after what they control.

#include <cstdint>

namespace quorlin {

enum class StopBits : uint8_t { One, OnePointFive, Two };

// How a modem-control output line is driven.
enum class LineControl : uint8_t {
    Unchanged,  // left as the device has it
    Handshake,  // raised and dropped by the flow control of the device
};

// The line configuration of a port: speed and framing, flow control and the
// software flow characters.
struct CommState {
    uint32_t baudRate = 9600;
    char parity = 'n';  // n, o, e, m or s
    uint8_t dataBits = 8;
    StopBits stopBits = StopBits::One;

    bool outxCtsFlow = false;  // output waits for CTS
    bool outxDsrFlow = false;  // output waits for DSR
    LineControl rtsControl = LineControl::Unchanged;
    LineControl dtrControl = LineControl::Unchanged;
    bool outX = false;  // a received XOFF stops our output, XON resumes it
    bool inX = false;   // we send XOFF/XON when our input queue fills/empties
    uint8_t xonChar = 0x11;
    uint8_t xoffChar = 0x13;
    uint16_t xonLim = 0;
    uint16_t xoffLim = 0;
    bool dsrSensitivity = false;
    bool discardNulls = false;

    bool operator==(const CommState&) const = default;
};

// Queue counts of an open port.
struct CommStatus {
    uint32_t inQueue = 0;   // bytes received and not yet read
    uint32_t outQueue = 0;  // bytes handed to the device and not yet sent
    bool outputHeld = false;  // XON/XOFF: a received XOFF holds the output
};

// What the device can do, as far as the program asks.
struct CommProperties {
    uint32_t maxTxQueue = 0;  // 0: no fixed limit
    uint32_t maxRxQueue = 0;
    uint32_t currentTxQueue = 0;  // as requested with Setup
    uint32_t currentRxQueue = 0;
    bool softwareFlowControl = true;
    bool rtsCtsFlowControl = true;
    bool dtrDsrFlowControl = false;  // no such mode on this platform
};

// The modem status bits and escape codes have the values of the Windows
// constants of the same names; where <windows.h> came first its macros stand
// for them.
#ifndef MS_CTS_ON
// Modem status bits returned by GetModemStatus.
constexpr uint32_t MS_CTS_ON = 0x0010;
constexpr uint32_t MS_DSR_ON = 0x0020;
constexpr uint32_t MS_RING_ON = 0x0040;
constexpr uint32_t MS_RLSD_ON = 0x0080;
#endif

#ifndef SETXOFF
// Escape codes accepted by Escape.
constexpr uint32_t SETXOFF = 1;
constexpr uint32_t SETXON = 2;
constexpr uint32_t SETRTS = 3;
constexpr uint32_t CLRRTS = 4;
constexpr uint32_t SETDTR = 5;
constexpr uint32_t CLRDTR = 6;
constexpr uint32_t SETBREAK = 8;
constexpr uint32_t CLRBREAK = 9;
#endif

}  // namespace quorlin
