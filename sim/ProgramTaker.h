#pragma once
// The controller taking a program from the PC, without any I/O.
//   Echo:  every character is answered with itself; SUB ends the program.
//   Block: characters are collected until SUB.
//   Xon:   the controller asks for a block with DC1; ESC ends a block that is
//          not the last (the controller asks again with DC1); SUB ends the
//          program.
// The program kept is the text received with that framing removed: the ESCs
// between Xon blocks and the closing SUB; every other byte as it came.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/Family.h"

namespace quorlin::sim {

constexpr std::uint8_t kDC1 = 0x11;
constexpr std::uint8_t kDC3 = 0x13;
constexpr std::uint8_t kSUB = 0x1A;
constexpr std::uint8_t kESC = 0x1B;

class ProgramTaker {
public:
    explicit ProgramTaker(Protocol protocol) : protocol_(protocol) {}

    // What the controller sends to ask for the program: DC1 for Xon,
    // nothing for the others.
    std::vector<std::uint8_t> Start() const;

    // Takes one received byte; appends the controller's answer to `reply`.
    // True when the byte ended the program.
    bool Feed(std::uint8_t byte, std::vector<std::uint8_t>& reply);

    // Bytes of the current program received so far, framing included.
    std::size_t Received() const { return received_; }
    // Xon blocks ended so far (by ESC or SUB).
    std::size_t Blocks() const { return blocks_; }

    // The program taken; starts the next one.
    std::vector<std::uint8_t> TakeProgram();

private:
    Protocol protocol_;
    std::vector<std::uint8_t> program_;
    std::size_t received_ = 0;
    std::size_t blocks_ = 0;
};

}  // namespace quorlin::sim
