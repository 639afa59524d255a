#pragma once
// The narrow seam between the transfer engine and its serial port: the
// operations of CSerialPort that a transfer uses. The application and the
// command-line tool use SerialTransferPort; tests put a recording port here.

#include <cstdint>

#include "serial/PortFailure.h"
#include "serial/SerialOwner.h"

namespace quorlin {

class ITransferPort {
public:
    virtual ~ITransferPort() = default;
    virtual bool Open(ISerialOwner* owner, unsigned port, unsigned notifyParam) = 0;
    // May be called from the restore worker while the owner's thread uses the port.
    virtual void Init(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits,
                      uint8_t handshake, uint32_t eventMask) = 0;
    // Init that empties the input only: what was written before still goes
    // out (a port that shows no output queue cannot tell whether the other
    // side has taken it).
    virtual void InitKeepingOutput(unsigned baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits,
                                   uint8_t handshake, uint32_t eventMask) {
        Init(baud, parity, dataBits, stopBits, handshake, eventMask);
    }
    virtual bool StartMonitoring() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // False when the port refused the block (closed, gone, queue full).
    virtual bool Write(const void* data, uint32_t length) = 0;
    virtual bool WriteString(const char* text) = 0;
    virtual uint32_t Read(void* buffer, uint32_t maximum) = 0;
    virtual void Purge() = 0;
    // Waits, bounded by the time the queued bytes take on the line, until
    // everything written has left the port (before a host that ends closes it).
    virtual void Flush() = 0;
    // Why the last Open failed, or why a device that connects after Open
    // (a port on a device server) never came up.
    virtual PortFailure LastOpenFailure() const { return {}; }
    // True while such a device is not up yet: nothing written has reached
    // the line.
    virtual bool IsConnecting() const { return false; }
    // True once the device went away (until the next Open).
    virtual bool IsDeviceLost() const { return false; }
    // Bytes handed over that have not left the port yet (its own queue and
    // the device's), as far as the device tells; a pty tells only the port's.
    virtual uint64_t OutputWaiting() { return 0; }
    // True while the controller's XOFF holds the output (XON/XOFF handshake).
    virtual bool IsOutputHeld() { return false; }
};

}  // namespace quorlin
