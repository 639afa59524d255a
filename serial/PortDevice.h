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
    // A device server reached over the network gets its kind here, with the
    // address the port map found for it in place of a path.
};

struct PortTarget {
    PortTargetKind kind = PortTargetKind::LocalDevice;
    std::string path;  // "" when the map names nothing for the number

    bool IsNamed() const { return !path.empty(); }
};

// The target the port map gives for port number port. Today every target
// is a local device (PortDevicePath); a link in the ports folder that names
// an address instead of a device is where a network target will come from.
PortTarget PortTargetOf(unsigned port);

// Opens a target with the back end of its kind. On failure, failure says
// why (kind, failed call, system error number and text).
std::unique_ptr<SerialDevice> OpenPortDevice(const PortTarget& target, PortFailure& failure);

// What CSerialPort calls to open its device: OpenPortDevice, or a stand-in
// for a device that cannot be had for real.
using DeviceOpener = std::function<std::unique_ptr<SerialDevice>(const PortTarget&, PortFailure&)>;

}  // namespace quorlin
