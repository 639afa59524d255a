#pragma once
// Which device serves a port number, and which back end opens it. The port
// map names a target for each number; the kind of the target picks the
// back end, per port and at run time, so that ports of different kinds can
// be open side by side.

#include <functional>
#include <memory>
#include <string>

#include "serial/PortFailure.h"

namespace quorlin {

class SerialDevice;

enum class PortTargetKind {
    LocalDevice,  // a serial device of this machine, by its path
    Rfc2217,      // a device server that takes the line settings over telnet: "rfc2217://HOST:PORT"
    RawTcp,       // a device server that passes bytes only: "tcp://HOST:PORT"
};

struct PortTarget {
    PortTargetKind kind = PortTargetKind::LocalDevice;
    // The device path, or the whole address of a network port; "" when the
    // map names nothing for the number.
    std::string path;

    bool IsNamed() const { return !path.empty(); }
    bool IsNetwork() const { return kind != PortTargetKind::LocalDevice; }
};

// The kind an address or path names: a network kind for "rfc2217://" and
// "tcp://" (in any case), else a local device.
PortTargetKind PortTargetKindOf(const std::string& pathOrAddress);

// The lowest number that RegisterNetworkPort hands out: above the numbers
// the start-up probe tries, so that no probe ever reaches a server this way.
inline constexpr unsigned kFirstRegisteredPort = 1000;

// Gives a network address a port number for the life of the process, so
// that a machine profile's address can be opened by number like any port:
// the number of a COM<N> link that names the same address where the port
// map has one, otherwise a number from kFirstRegisteredPort on (the same
// address keeps its number).
unsigned RegisterNetworkPort(const std::string& address);

// The target the port map gives for port number port: a number that
// RegisterNetworkPort gave out, else what PortDevicePath names (a link in
// the ports folder whose target is an address names a network port).
PortTarget PortTargetOf(unsigned port);

// Opens a target with the back end of its kind, without waiting for the
// network: a network device connects in the background. On failure,
// failure says why (kind, failed call, system error number and text).
std::unique_ptr<SerialDevice> OpenPortDevice(const PortTarget& target, PortFailure& failure);

// The same, but returns a network device only once it is up (within its
// connect time-out), and fails with the reason when it does not come up:
// for a host that may wait, and prefers an open that either works or says
// why, to a port that is lost soon after it opened.
std::unique_ptr<SerialDevice> OpenConnectedPortDevice(const PortTarget& target, PortFailure& failure);

// What CSerialPort calls to open its device: OpenPortDevice (or
// OpenConnectedPortDevice), or a stand-in for a device that cannot be had
// for real.
using DeviceOpener = std::function<std::unique_ptr<SerialDevice>(const PortTarget&, PortFailure&)>;

}  // namespace quorlin
