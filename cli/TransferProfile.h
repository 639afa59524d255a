#pragma once
// The communication settings as the application takes them: the three
// profile values, and the detected ports.

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/CommSettings.h"
#include "transfer/Machine.h"

namespace quorlin::cli {

// Reads "CommPort", "SysType" and "BaudRate" of the profile's "Prop" group
// (each 0 when absent or not a 32-bit integer) into settings; baud is derived.
void LoadProfileSettings(CommSettings& settings);

// The machine profiles: the machines, and "NAME: why" for each group that
// is no machine.
struct MachineList {
    std::vector<Machine> machines;
    std::vector<std::string> refused;
};
MachineList LoadMachines();

// Puts the three stored values into settings, as each system's reader
// found them, and derives the baud rate from the baud choice.
inline void ApplyProfileValues(CommSettings& settings, int32_t commPort, int32_t sysType, int32_t baudRate) {
    settings.commPort = commPort;
    settings.sysType = sysType;
    settings.baudRate = baudRate;
    settings.baud = settings.BaudForIndex(settings.baudRate);
}

}  // namespace quorlin::cli
