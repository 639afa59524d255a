#pragma once
// When the line can have carried what was handed to it. A port hands bytes
// to its device long before the line has sent them where the device shows
// no output queue (a pty, many USB adapters, a network port): 32 KiB go
// into a pty in milliseconds and take 34 s at 9600 baud. The clock counts
// each block's line time at the rate and framing last set, so that a
// transfer (or a network port, whose server still sends what it holds) can
// tell how much may still be on its way.

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace quorlin {

class LineClock {
public:
    using Clock = std::chrono::steady_clock;

    // The line's rate and framing from now on.
    void SetLine(uint32_t baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits);
    // bytes were handed to the line at now.
    void Handed(uint64_t bytes, Clock::time_point now = Clock::now());
    // The other side answered what it was sent: the line has carried it.
    void Carried(Clock::time_point now = Clock::now()) { m_freeAt = std::min(m_freeAt, now); }
    // When the line is through with everything handed over so far.
    Clock::time_point FreeAt() const { return m_freeAt; }
    // The bytes the line may still be carrying at now.
    uint64_t BytesOnLine(Clock::time_point now = Clock::now()) const;
    // The line time of bytes at the present rate.
    Clock::duration TimeFor(uint64_t bytes) const;
    // How many bytes may be handed over at now so that the line is through
    // with everything by now + ahead: what keeps a queue the line cannot see
    // (a device server's) to ahead's worth.
    uint64_t Room(Clock::duration ahead, Clock::time_point now = Clock::now()) const;

private:
    uint32_t m_nBaud = 9600;
    uint32_t m_nCharacterBits = 10;
    Clock::time_point m_freeAt{};
};

}  // namespace quorlin
