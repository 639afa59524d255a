#include "serial/ProbePorts.h"

#include "serial/SerialPort.h"

namespace quorlin {

std::array<unsigned, kMaxProbedPorts> ProbePorts(ISerialOwner* owner) {
    std::array<unsigned, kMaxProbedPorts> found{};
    CSerialPort probe(1024);
    unsigned count = 0;
    for (unsigned port = 0; port <= kHighestPortNumber && count < kMaxProbedPorts; ++port) {
        // A port on a device server is listed without connecting: the
        // start-up does not wait on the network, and opening it tells.
        if (PortTargetOf(port).IsNetwork()) {
            found[count++] = port;
        } else if (probe.Open(owner, port, 0)) {
            found[count++] = port;
            probe.Close();
        }
    }
    return found;
}

}  // namespace quorlin
