#pragma once
// The local calendar time of a moment, safe to call from any thread.

#include <ctime>

namespace quorlin {

std::tm LocalTimeOf(std::time_t when);

}  // namespace quorlin
