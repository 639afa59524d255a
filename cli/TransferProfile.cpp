// The profile is the application's: the same reader, so that both take the
// same values (a value that is not a 32-bit integer reads as 0).

#include "cli/TransferProfile.h"

#include "app/Profile.h"

namespace quorlin::cli {

void LoadProfileSettings(CommSettings& settings) {
    const StoredSettings stored = ReadProfile();
    settings.commPort = stored.commPort;
    settings.sysType = stored.sysType;
    settings.baudRate = stored.baudRate;
    settings.baud = settings.BaudForIndex(settings.baudRate);
}

}  // namespace quorlin::cli
