#pragma once
// The two texts that label a transfer's progress window: the port's name and
// the controller family's name.

#include <string>

#include "transfer/CommSettings.h"

namespace quorlin {

// The row text of a family; empty for a number outside the family table.
std::string GetSystemTypeName(int sysType);

// "COM<n>" for the port number at index of the detected list; empty when that
// place is empty or the index lies outside 0 to 4.
std::string GetPortName(const CommSettings& settings, int index);

}  // namespace quorlin
