#pragma once
// The machine profiles of the user's profile: every group "Machine.NAME",
// checked. A group that is no machine is named with the reason, so that
// the person who wrote it can mend it.

#include <string>
#include <vector>

#include "transfer/Machine.h"

namespace quorlin {

struct MachineProfiles {
    std::vector<Machine> machines;     // in the order of their names
    std::vector<std::string> refused;  // "NAME: why", one per group that is no machine
};

MachineProfiles ReadMachineProfiles();

}  // namespace quorlin
