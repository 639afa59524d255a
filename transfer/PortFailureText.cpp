#include "transfer/PortFailureText.h"

namespace quorlin {

namespace {

// " (<system text>)" when the system gave one.
std::string SystemSuffix(const PortFailure& why) {
    if (why.systemText.empty()) return "";
    return " (" + why.systemText + ")";
}

}  // namespace

std::string PortFailureAdvice(const PortFailure& why) {
    const std::string system = SystemSuffix(why);
    switch (why.kind) {
        case PortFailureKind::None: return "";
        case PortFailureKind::NotFound:
            return "No device is connected as this port" + system +
                   ". Check the cable or USB adapter and the port chosen in the settings.";
        case PortFailureKind::InUse:
            return "Another program is using this port" + system + ". Close it and try again.";
        case PortFailureKind::PermissionDenied:
            return std::string("You have no permission to use this port") + system +
                   ". Ask your administrator to add your user to the \"" + kSerialAccessGroup +
                   "\" group (sudo usermod -a -G " + kSerialAccessGroup +
                   " USER), then log out and log in again.";
        case PortFailureKind::NotSerialDevice:
            return "The device of this port is not a serial line" + system +
                   ". Choose another port in the settings.";
        case PortFailureKind::Other: break;
    }
    const std::string operation = why.operation.empty() ? "" : " in " + why.operation;
    return "The port failed" + operation + system + ".";
}

}  // namespace quorlin
