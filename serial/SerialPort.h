#pragma once
// CSerialPort: one RS-232 port opened by number, with a reader thread that
// turns line events into messages for its owner and a writer thread that
// performs the device writes handed to it one block at a time.
//
// (Skeleton contract; the serial module completes it.)

#include <cstdint>

#include "serial/SerialOwner.h"

namespace quorlin {

// Line events the owner can ask for in Init's event mask.
constexpr uint32_t EV_RXCHAR = 0x0001;   // a byte arrived
constexpr uint32_t EV_TXEMPTY = 0x0004;  // the last byte of a block has left

enum Handshake : uint8_t {
    HandshakeNone = 0,
    HandshakeCtsRts = 1,
    HandshakeCtsDtr = 2,
    HandshakeDsrRts = 3,
    HandshakeDsrDtr = 4,
    HandshakeXonXoff = 5,
};

class CSerialPort {
public:
    explicit CSerialPort(unsigned bufferCapacity = 1024);
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    bool Open(ISerialOwner* owner, unsigned port, unsigned notifyParam);
    void Init(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits,
              uint8_t handshake, uint32_t eventMask);
    void Init(const char* baud, char parity, const char* dataBits, const char* stopBits,
              uint8_t handshake, uint32_t eventMask);
    void Close();
    bool IsOpen() const;

    bool StartMonitoring();
    void StopMonitoring();

    void Write(const void* data, uint32_t length);
    void WriteString(const char* text);
    uint32_t Read(void* buffer, uint32_t maximum);
    void Purge();
};

}  // namespace quorlin
