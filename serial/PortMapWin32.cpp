// Windows names every port by its number: "\\.\COM<N>" reaches COM1 to COM9
// and the numbers above alike. No folder of links takes part.
#include "serial/PortMap.h"

namespace quorlin {

std::string PortLinkFolder() { return {}; }

std::string PortDevicePath(unsigned port) { return "\\\\.\\COM" + std::to_string(port); }

}  // namespace quorlin
