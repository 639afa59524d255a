// The controller's reads of a PtyPair, the same on every platform; the one
// read and the one wait that differ are in PtyPair.cpp and PtyPairWine.cpp.

#include <algorithm>

#include "tests/support/SerialTestSupport.h"

namespace quorlin::test {

std::string PtyPair::ReadAvailable() {
    std::string out;
    char piece[4096];
    for (long n; (n = ReadPiece(piece, sizeof piece)) > 0;) out.append(piece, static_cast<size_t>(n));
    return out;
}

std::string PtyPair::ReadExactly(size_t count, std::chrono::milliseconds deadline) {
    std::string out;
    const auto until = std::chrono::steady_clock::now() + deadline;
    char piece[4096];
    while (out.size() < count) {
        const long n = ReadPiece(piece, std::min(sizeof piece, count - out.size()));
        if (n > 0) {
            out.append(piece, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 || !WaitReadable(until)) break;
    }
    return out;
}

}  // namespace quorlin::test
