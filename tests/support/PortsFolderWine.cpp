// The Windows side of PortsFolder, for the tests under Wine: a port number
// names "\\.\COM<N>", which quorlin-wine-ports points at the given device.
#include <gtest/gtest.h>

#include "tests/support/SerialTestSupport.h"
#include "tests/support/WinePortHost.h"

namespace quorlin::test {

PortsFolder::PortsFolder() = default;
PortsFolder::~PortsFolder() = default;

void PortsFolder::Link(unsigned port, const std::string& device) {
    std::string answer;
    const long long connection = ConnectToPortHost("link " + std::to_string(port) + " " + device, answer);
    if (connection >= 0 && answer != "ok") ADD_FAILURE() << "cannot map COM" << port << ": " << answer;
    CloseHostConnection(connection);
}

}  // namespace quorlin::test
