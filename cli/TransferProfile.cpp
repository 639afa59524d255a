// The profile is the application's: the same reader, so that both take the
// same values (a value that is not a 32-bit integer reads as 0).

#include "cli/TransferProfile.h"

#include "profile/MachineProfiles.h"
#include "profile/Profile.h"

namespace quorlin::cli {

void LoadProfileSettings(CommSettings& settings) {
    const StoredSettings stored = ReadProfile();
    settings.TakeStored(stored.commPort, stored.sysType, stored.baudRate);
}

unsigned LoadChosenPortNumber() { return ReadChosenPortNumber(); }

MachineList LoadMachines() {
    MachineProfiles profiles = ReadMachineProfiles();
    return {std::move(profiles.machines), std::move(profiles.refused)};
}

}  // namespace quorlin::cli
