#pragma once
// What each controller family does on the line: the protocol it takes and
// gives programs in, its line settings, and the downloads it accepts.
//
// This is deliberately a copy of the program's family table, written from
// the controllers' side and not shared with it: the simulator checks the
// program, and a fault in a shared table would pass both.

#include "sim/LineTiming.h"

namespace quorlin::sim {

constexpr int kFamilyCount = 5;

enum class Protocol { Echo, Block, Xon };

Protocol ProtocolOfFamily(int family);
const char* ProtocolName(Protocol protocol);

// Line settings while a program is sent or received: 9600 baud, odd parity,
// 7 data bits, 1 stop bit; family 4 runs at 19200 with baud index 1.
LineSettings ProgramLine(int family, int baudIndex);

enum class DownloadMode { Stream, Blocks };

// Download kinds 1 and 2 are plain streams, 3 to 5 go in answered blocks.
DownloadMode DownloadModeOfKind(int kind);

// Line settings of a download of `kind`: kind 1 9600,o,8,1; kind 2
// 19200,n,8,1; kinds 3 to 5 the block baud (115200 for family 3 with baud
// index 1, else 9600), odd parity, 8 data bits, 1 stop bit.
LineSettings DownloadLine(int family, int baudIndex, int kind);

// Whether the family offers download `kind` (family 0, 1: 1 and 3; family 2:
// 2; families 3, 4: 3, 4 and 5).
bool FamilyOffersDownload(int family, int kind);

}  // namespace quorlin::sim
