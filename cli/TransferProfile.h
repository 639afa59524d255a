#pragma once
// The communication settings as the application takes them: the three
// profile values, and the detected ports.

#include <cstdint>

#include "transfer/CommSettings.h"

namespace quorlin::cli {

// Reads "CommPort", "SysType" and "BaudRate" of the profile's "Prop" group
// (each 0 when absent or not a 32-bit integer) into settings; baud is derived.
void LoadProfileSettings(CommSettings& settings);

}  // namespace quorlin::cli
