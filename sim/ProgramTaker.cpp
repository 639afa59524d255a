#include "sim/ProgramTaker.h"

#include <utility>

namespace quorlin::sim {

std::vector<std::uint8_t> ProgramTaker::Start() const {
    if (protocol_ == Protocol::Xon) return {kDC1};
    return {};
}

bool ProgramTaker::Feed(std::uint8_t byte, std::vector<std::uint8_t>& reply) {
    ++received_;
    if (byte == kSUB) {
        // The closing SUB is not echoed: the PC has ended its send by then,
        // and an echo would only reach its log.
        ++blocks_;
        return true;
    }
    if (protocol_ == Protocol::Echo) reply.push_back(byte);
    if (protocol_ == Protocol::Xon && byte == kESC) {
        ++blocks_;
        reply.push_back(kDC1);
        return false;
    }
    program_.push_back(byte);
    return false;
}

std::vector<std::uint8_t> ProgramTaker::TakeProgram() {
    std::vector<std::uint8_t> program = std::move(program_);
    program_.clear();
    received_ = 0;
    blocks_ = 0;
    return program;
}

}  // namespace quorlin::sim
