#include "transfer/PortFailureText.h"

#include <algorithm>

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
        case PortFailureKind::NoPortFound:
            return "No serial port was found on this computer. Connect the controller's cable or the USB serial "
                   "adapter, then choose its port in the settings.";
        case PortFailureKind::NoPortChosen:
            return "The settings choose none of the serial ports found. Choose the controller's port in the "
                   "settings.";
        case PortFailureKind::ServerFault:
            // systemText says what the server did, such as "set the line to
            // 4800 baud, not 9600".
            return "The device server of this port " + why.systemText +
                   ". Check the server's settings for this port, or choose another port.";
        case PortFailureKind::Other: break;
    }
    const std::string operation = why.operation.empty() ? "" : " in " + why.operation;
    return "The port failed" + operation + system + ".";
}

PortFailure ExplainPortChoice(const CommSettings& settings, const PortFailure& why) {
    if (settings.GetPortNumber() != 0 || why.kind != PortFailureKind::NotFound) return why;
    PortFailure none;
    const bool anyFound =
        std::any_of(settings.portList.begin(), settings.portList.end(), [](int32_t n) { return n > 0; });
    none.kind = anyFound ? PortFailureKind::NoPortChosen : PortFailureKind::NoPortFound;
    return none;
}

}  // namespace quorlin
