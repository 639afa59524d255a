#pragma once
// The Windows tests' way to quorlin-wine-ports (tests/wine/WinePorts.cpp),
// which runs them under Wine: a connection to it, opened with one request.

#include <string>

namespace quorlin::test {

// Connects to the host named by QUORLIN_WINE_PORTS and sends request; on
// success returns the connected socket and the first line of the answer.
// Fails the current test (ADD_FAILURE) and returns -1 otherwise.
long long ConnectToPortHost(const std::string& request, std::string& answer);
void CloseHostConnection(long long connection);

}  // namespace quorlin::test
