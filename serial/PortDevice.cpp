#include "serial/PortDevice.h"

#include <cctype>
#include <mutex>
#include <vector>

#include "serial/NetworkDevice.h"
#include "serial/PortMap.h"
#include "serial/ProbePorts.h"
#include "serial/SerialDevice.h"

namespace quorlin {
namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

// The addresses RegisterNetworkPort numbered, the first at kFirstRegisteredPort.
struct RegisteredPorts {
    std::mutex mutex;
    std::vector<std::string> addresses;
};

RegisteredPorts& Registered() {
    static RegisteredPorts registered;
    return registered;
}

std::string RegisteredAddress(unsigned port) {
    if (port < kFirstRegisteredPort) return {};
    RegisteredPorts& registered = Registered();
    std::lock_guard lock(registered.mutex);
    const size_t index = port - kFirstRegisteredPort;
    return index < registered.addresses.size() ? registered.addresses[index] : std::string();
}

}  // namespace

PortTargetKind PortTargetKindOf(const std::string& pathOrAddress) {
    if (StartsWithNoCase(pathOrAddress, "rfc2217://")) return PortTargetKind::Rfc2217;
    if (StartsWithNoCase(pathOrAddress, "tcp://")) return PortTargetKind::RawTcp;
    return PortTargetKind::LocalDevice;
}

unsigned RegisterNetworkPort(const std::string& address) {
    for (unsigned port = 0; port <= kHighestPortNumber; ++port)
        if (PortDevicePath(port) == address) return port;
    RegisteredPorts& registered = Registered();
    std::lock_guard lock(registered.mutex);
    for (size_t i = 0; i < registered.addresses.size(); ++i)
        if (registered.addresses[i] == address) return kFirstRegisteredPort + static_cast<unsigned>(i);
    registered.addresses.push_back(address);
    return kFirstRegisteredPort + static_cast<unsigned>(registered.addresses.size() - 1);
}

PortTarget PortTargetOf(unsigned port) {
    std::string path = RegisteredAddress(port);
    if (path.empty()) path = PortDevicePath(port);
    return {PortTargetKindOf(path), std::move(path)};
}

std::unique_ptr<SerialDevice> OpenPortDevice(const PortTarget& target, PortFailure& failure) {
    switch (target.kind) {
        case PortTargetKind::LocalDevice:
            return OpenLocalDevice(target.path, failure);
        case PortTargetKind::Rfc2217:
        case PortTargetKind::RawTcp:
            return OpenNetworkDevice(target, failure);
    }
    failure = PortFailure{PortFailureKind::Other, 0, "no back end for this kind of port", "open"};
    return nullptr;
}

std::unique_ptr<SerialDevice> OpenConnectedPortDevice(const PortTarget& target, PortFailure& failure) {
    std::unique_ptr<SerialDevice> device = OpenPortDevice(target, failure);
    if (device && !device->AwaitConnection(failure)) return nullptr;
    return device;
}

}  // namespace quorlin
