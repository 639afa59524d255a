#pragma once
// The line a host may show under "Can not open COM<n> !": why the port could
// not be opened, in plain words with the system's own text, and what the
// person at the machine can do about it.

#include <string>

#include "serial/PortFailure.h"
#include "transfer/CommSettings.h"

namespace quorlin {

// The group whose members may open the serial devices on Debian and most
// Linux systems.
inline constexpr const char* kSerialAccessGroup = "dialout";

// Empty when why names no failure.
std::string PortFailureAdvice(const PortFailure& why);

// why, or, when no device answered because the settings name no port at all
// (their portList entry at commPort is empty), the reason for that: no port
// was found, or none was chosen.
PortFailure ExplainPortChoice(const CommSettings& settings, const PortFailure& why);

}  // namespace quorlin
