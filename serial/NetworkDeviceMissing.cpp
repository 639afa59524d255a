// Builds without the network back end (Windows): network ports are refused
// with a reason the user can act on.
#include "serial/NetworkDevice.h"

#include "serial/SerialDevice.h"

namespace quorlin {

std::unique_ptr<SerialDevice> OpenNetworkDevice(const PortTarget&, PortFailure& failure) {
    failure = PortFailure{PortFailureKind::Other, 0, "network ports are not available in this build",
                          "connect()"};
    return nullptr;
}

}  // namespace quorlin
