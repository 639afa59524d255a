#pragma once
// Which device a port number names on this machine. On Windows port N is
// "\\.\COM<N>" (PortMapWin32.cpp); the rest of this comment is the POSIX map
// (PortMap.cpp).
//
// When the environment variable QUORLIN_PORTS names a folder, that folder is
// the whole map: a link (or device node) "COM<N>" in it names the device of
// port N and no other number names one. Tests, the simulator and the demo use
// this so that they see only their own ports.
//
// Otherwise a link "COM<N>" in the per-user ports folder (the "ports" folder
// beside the profile, $XDG_CONFIG_HOME/Morvale CNC/ports, or
// ~/.config/Morvale CNC/ports) comes first, then the fixed table:
// 1-32 -> /dev/ttyS0-31, 33-64 -> /dev/ttyUSB0-31, 65-96 -> /dev/ttyACM0-31.
// Other numbers, 0 included, name a device only through a link.
//
// A link whose target is a network address, "rfc2217://HOST:PORT" or
// "tcp://HOST:PORT", names a port on a device server (PortDevice.h).

#include <string>

namespace quorlin {

// The environment variable that replaces the whole map by one folder.
inline constexpr const char* kPortsFolderVariable = "QUORLIN_PORTS";

// The device path of port number port, or "" when the map names none. A link
// is followed to the device it names (kept as it is when it leads nowhere;
// a link to a network address gives the address);
// a path from the fixed table is not checked: opening it tells.
std::string PortDevicePath(unsigned port);

// The folder whose COM<N> links are consulted, "" when there is none.
std::string PortLinkFolder();

}  // namespace quorlin
