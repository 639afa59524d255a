#include "transfer/qt/TransferRate.h"

#include <cmath>

namespace quorlin {

void TransferRate::Start(uint64_t total, Clock::time_point now) {
    m_nTotal = total;
    m_nStartPos = m_nPos = 0;
    m_bStarted = false;
    m_start = m_last = now;
}

// The clock starts at the first byte that went, not at Start: opening the
// port and waiting for the controller to ask is no part of the line's rate.
void TransferRate::Note(uint64_t position, Clock::time_point now) {
    if (!m_bStarted) {
        if (position == 0) return;
        m_bStarted = true;
        m_nStartPos = position;
        m_start = now;
    }
    m_nPos = position;
    m_last = now;
}

std::optional<double> TransferRate::BytesPerSecond() const {
    if (!m_bStarted || m_nPos <= m_nStartPos) return std::nullopt;
    const auto span = m_last - m_start;
    if (span < kMinimumSpan) return std::nullopt;
    return static_cast<double>(m_nPos - m_nStartPos) / std::chrono::duration<double>(span).count();
}

std::optional<int64_t> TransferRate::SecondsLeft() const {
    const std::optional<double> rate = BytesPerSecond();
    if (!rate) return std::nullopt;
    const uint64_t left = m_nPos < m_nTotal ? m_nTotal - m_nPos : 0;
    return static_cast<int64_t>(std::ceil(static_cast<double>(left) / *rate));
}

}  // namespace quorlin
