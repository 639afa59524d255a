#pragma once
// A QProgressBar's range is an int; a transfer may count more bytes than an
// int holds. ProgressScale shifts the total and every position right by the
// same number of bits, just enough for the total to fit, so the bar shows
// the same share of the whole.

#include <climits>
#include <cstdint>

namespace quorlin {

class ProgressScale {
public:
    ProgressScale() = default;
    explicit ProgressScale(uint64_t total) {
        while ((total >> m_nShift) > static_cast<uint64_t>(INT_MAX)) ++m_nShift;
        m_nTotal = total;
    }
    int Maximum() const { return Scaled(m_nTotal); }
    // A position beyond the total is shown as the total.
    int Value(uint64_t position) const { return Scaled(position < m_nTotal ? position : m_nTotal); }
    int Shift() const { return m_nShift; }

private:
    int Scaled(uint64_t count) const { return static_cast<int>(count >> m_nShift); }

    uint64_t m_nTotal = 0;
    int m_nShift = 0;
};

}  // namespace quorlin
