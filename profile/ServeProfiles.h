#pragma once
// The machines that `quorlin-cli serve` serves: each machine profile with
// the keys of its group that the service reads. A group that is no machine,
// or whose service keys are wrong, is named with the reason.

#include <string>
#include <vector>

#include "transfer/Machine.h"
#include "transfer/ServeSettings.h"

namespace quorlin {

struct ServedMachineProfile {
    Machine machine;
    ServeSettings serve;
};

struct ServeProfiles {
    std::vector<ServedMachineProfile> machines;  // in the order of their names
    std::vector<std::string> refused;            // "NAME: why"
    // Why the profile could not be read (missing, no regular file, not in
    // the profile's form); empty when it was. What was read then is not
    // the profile: the machines are not to be judged by it.
    std::string unreadable;
};

// logFolder: where a machine's log goes when its group names no LogFile
// ("NAME.log" in it).
ServeProfiles ReadServeProfiles(const std::string& logFolder);

}  // namespace quorlin
