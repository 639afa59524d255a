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

// How long opening a network port waits for the server to accept the
// connection and, over RFC 2217, to take the com-port option: a device
// server on the shop's network answers within milliseconds, one that is
// switched off never does.
inline constexpr std::chrono::milliseconds kNetworkConnectTimeout{2000};

// Connects to the server of a network target ("rfc2217://HOST:PORT" or
// "tcp://HOST:PORT"). On failure, failure says why, its operation naming the
// call and the address ("connect() to HOST:PORT"); a build without the
// network back end refuses every network target.
std::unique_ptr<SerialDevice> OpenNetworkDevice(const PortTarget& target, PortFailure& failure);

}  // namespace quorlin
