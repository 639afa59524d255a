#include "sim/Family.h"

namespace quorlin::sim {

Protocol ProtocolOfFamily(int family) {
    if (family == 0) return Protocol::Echo;
    if (family == 4) return Protocol::Xon;
    return Protocol::Block;
}

const char* ProtocolName(Protocol protocol) {
    switch (protocol) {
    case Protocol::Echo: return "Echo";
    case Protocol::Block: return "Block";
    case Protocol::Xon: return "Xon";
    }
    return "?";
}

LineSettings ProgramLine(int family, int baudIndex) {
    LineSettings line;  // 9600,o,7,1
    if (family == 4 && baudIndex == 1) line.baud = 19200;
    return line;
}

DownloadMode DownloadModeOfKind(int kind) {
    return kind >= 3 ? DownloadMode::Blocks : DownloadMode::Stream;
}

LineSettings DownloadLine(int family, int baudIndex, int kind) {
    LineSettings line;
    line.dataBits = 8;
    if (kind == 1) return line;
    if (kind == 2) {
        line.baud = 19200;
        line.parity = 'n';
        return line;
    }
    if (family == 3 && baudIndex == 1) line.baud = 115200;
    return line;
}

bool FamilyOffersDownload(int family, int kind) {
    switch (family) {
    case 0:
    case 1: return kind == 1 || kind == 3;
    case 2: return kind == 2;
    case 3:
    case 4: return kind >= 3 && kind <= 5;
    default: return false;
    }
}

}  // namespace quorlin::sim
