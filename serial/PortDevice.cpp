#include "serial/PortDevice.h"

#include "serial/PortMap.h"
#include "serial/SerialDevice.h"

namespace quorlin {

PortTarget PortTargetOf(unsigned port) { return {PortTargetKind::LocalDevice, PortDevicePath(port)}; }

std::unique_ptr<SerialDevice> OpenPortDevice(const PortTarget& target, PortFailure& failure) {
    switch (target.kind) {
        case PortTargetKind::LocalDevice:
            return OpenLocalDevice(target.path, failure);
    }
    failure = PortFailure{PortFailureKind::Other, 0, "no back end for this kind of port", "open"};
    return nullptr;
}

}  // namespace quorlin
