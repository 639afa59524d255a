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

// The port number the stored "CommPort" place was chosen for (the
// application keeps it beside "Prop"); 0 when none was recorded.
unsigned LoadChosenPortNumber();

// The machine profiles: the machines, and "NAME: why" for each group that
// is no machine.
struct MachineList {
    std::vector<Machine> machines;
    std::vector<std::string> refused;
};
MachineList LoadMachines();

}  // namespace quorlin::cli
