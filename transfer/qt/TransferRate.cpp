#include "transfer/qt/TransferRate.h"

#include <algorithm>
#include <cmath>

namespace quorlin {

namespace {
constexpr std::chrono::milliseconds kRecentSpan{2000};
constexpr double kSteadyTolerance = 0.2;
}  // namespace

void TransferRate::Start(uint64_t total, Clock::time_point now, double lineLimit) {
    (void)now;
    m_nTotal = total;
    m_lineLimit = lineLimit;
    m_samples.clear();
}

// The clock starts at the first byte that went, not at Start: opening the
// port and waiting for the controller to ask is no part of the line's rate.
void TransferRate::Note(uint64_t position, Clock::time_point now) {
    if (m_samples.empty() && position == 0) return;
    if (!m_samples.empty() && m_samples.back().first == now) {
        m_samples.back().second = position;
    } else {
        m_samples.emplace_back(now, position);
    }
    while (m_samples.size() > 2 && m_samples[1].first <= now - kWindow) m_samples.pop_front();
}

std::optional<double> TransferRate::RateSince(Clock::time_point from) const {
    if (m_samples.size() < 2) return std::nullopt;
    // The last sample at or before from, or the first one there is.
    auto base = std::upper_bound(m_samples.begin(), m_samples.end(), from,
                                 [](Clock::time_point at, const Sample& sample) { return at < sample.first; });
    if (base != m_samples.begin()) --base;
    const Sample& last = m_samples.back();
    const auto span = last.first - base->first;
    if (span < kMinimumSpan) return std::nullopt;
    const uint64_t moved = last.second > base->second ? last.second - base->second : 0;
    const double rate = static_cast<double>(moved) / std::chrono::duration<double>(span).count();
    return m_lineLimit > 0 ? std::min(rate, m_lineLimit) : rate;
}

std::optional<double> TransferRate::BytesPerSecond() const {
    if (m_samples.empty()) return std::nullopt;
    return RateSince(m_samples.back().first - kWindow);
}

std::optional<int64_t> TransferRate::SecondsLeft() const {
    if (m_nTotal == 0) return std::nullopt;
    const std::optional<double> rate = BytesPerSecond();
    if (!rate || *rate <= 0) return std::nullopt;
    const uint64_t position = m_samples.back().second;
    const uint64_t left = position < m_nTotal ? m_nTotal - position : 0;
    return static_cast<int64_t>(std::ceil(static_cast<double>(left) / *rate));
}

bool TransferRate::IsSteady() const {
    if (m_samples.size() < 2 || m_samples.back().first - m_samples.front().first < kWindow) return false;
    const auto whole = BytesPerSecond();
    const auto recent = RateSince(m_samples.back().first - kRecentSpan);
    if (!whole || !recent || *whole <= 0) return false;
    return std::abs(*recent - *whole) <= kSteadyTolerance * *whole;
}

}  // namespace quorlin
