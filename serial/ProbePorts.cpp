#include "serial/ProbePorts.h"

#include "serial/SerialPort.h"

namespace quorlin {

std::array<unsigned, kMaxProbedPorts> ProbePorts(ISerialOwner* owner) {
    std::array<unsigned, kMaxProbedPorts> found{};
    CSerialPort probe(1024);
    unsigned count = 0;
    for (unsigned port = 0; port <= kHighestPortNumber && count < kMaxProbedPorts; ++port) {
        if (probe.Open(owner, port, 0)) {
            found[count++] = port;
            probe.Close();
        }
    }
    return found;
}

}  // namespace quorlin
