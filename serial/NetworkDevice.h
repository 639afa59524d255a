#pragma once
// The network back end of the port's device seam: a port on a serial device
// server, reached over TCP. Two kinds of server: one that speaks the telnet
// com-port option (RFC 2217), over which the line settings, the modem lines
// and purges go to the server's serial port, and one that passes raw bytes
// and keeps whatever line settings it was set up with.
//
// The port's own XON/XOFF works on top of either: the server is told to use
// none for what it sends the machine (XON/XOFF for what it receives is the
// server's, as a local tty's is the kernel's). A closed connection or a
// socket error is a lost device, as an unplugged adapter is.

#include <chrono>
#include <memory>

#include "serial/PortDevice.h"
#include "serial/PortFailure.h"

namespace quorlin {

class SerialDevice;

// How long a network port tries to reach the server, to be let in and, over
// RFC 2217, to have the com-port option taken: a device server on the
// shop's network answers within milliseconds, one that is switched off
// never does.
inline constexpr std::chrono::milliseconds kNetworkConnectTimeout{2000};

// The device of a network target ("rfc2217://HOST:PORT" or
// "tcp://HOST:PORT"), which connects to its server in the background: this
// returns at once. If the server is not reached within
// kNetworkConnectTimeout, the device is lost and its OpenFailure names the
// call and the address ("connect() to HOST:PORT"). Fails at once only for
// an address that is not HOST:PORT, or where a build has no network back
// end.
std::unique_ptr<SerialDevice> OpenNetworkDevice(const PortTarget& target, PortFailure& failure);

}  // namespace quorlin
