#include "serial/LineClock.h"

#include <algorithm>

namespace quorlin {

void LineClock::SetLine(uint32_t baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits) {
    if (baud != 0) m_nBaud = baud;
    const bool parityBit = parity != 'n' && parity != 'N';
    m_nCharacterBits = 1u + dataBits + (parityBit ? 1u : 0u) + std::max<uint32_t>(stopBits, 1u);
}

LineClock::Clock::duration LineClock::TimeFor(uint64_t bytes) const {
    const auto bitTime = std::chrono::duration<double>(1.0 / m_nBaud);
    return std::chrono::duration_cast<Clock::duration>(bitTime * static_cast<double>(bytes * m_nCharacterBits));
}

void LineClock::Handed(uint64_t bytes, Clock::time_point now) {
    m_freeAt = std::max(now, m_freeAt) + TimeFor(bytes);
}

uint64_t LineClock::BytesOnLine(Clock::time_point now) const {
    if (now >= m_freeAt) return 0;
    const double seconds = std::chrono::duration<double>(m_freeAt - now).count();
    return static_cast<uint64_t>(seconds * m_nBaud / m_nCharacterBits) + 1;
}

uint64_t LineClock::Room(Clock::duration ahead, Clock::time_point now) const {
    const Clock::duration spare = now + ahead - std::max(now, m_freeAt);
    if (spare <= Clock::duration::zero()) return 0;
    const double seconds = std::chrono::duration<double>(spare).count();
    return static_cast<uint64_t>(seconds * m_nBaud / m_nCharacterBits);
}

}  // namespace quorlin
