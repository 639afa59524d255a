#pragma once
// Why a port could not be opened or configured: a closed set of kinds, with
// the system's own error number and text kept for the person who can act.

#include <string>

namespace quorlin {

enum class PortFailureKind {
    None,              // no failure
    NotFound,          // no device behind the port number
    InUse,             // another program holds the port
    PermissionDenied,  // the user may not open the device
    NotSerialDevice,   // the device is not a serial line
    NoPortFound,       // the settings name no port because none opened in the probe
    NoPortChosen,      // ports were found, but the settings choose none of them
    ServerFault,       // a device server refused the line settings or broke its protocol
    Other,
};

struct PortFailure {
    PortFailureKind kind = PortFailureKind::None;
    int systemError = 0;      // errno (GetLastError on Windows); 0 if none
    std::string systemText;   // the system's text for systemError
    std::string operation;    // the call that failed, such as "open()"
};

}  // namespace quorlin
