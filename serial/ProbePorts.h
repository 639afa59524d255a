#pragma once
// The start-up search for serial ports.

#include <array>

#include "serial/SerialOwner.h"

namespace quorlin {

constexpr unsigned kMaxProbedPorts = 5;
constexpr unsigned kHighestPortNumber = 254;

// Tries port numbers 0 to 254 in ascending order with one temporary port
// (1024-byte buffer), opening each with owner and notify value 0 and closing
// it again, and returns the first five numbers that opened; the entries not
// filled are 0. A port another program holds does not open and is skipped.
// A port the map names on a device server counts without being opened.
std::array<unsigned, kMaxProbedPorts> ProbePorts(ISerialOwner* owner = nullptr);

}  // namespace quorlin
