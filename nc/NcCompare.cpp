#include "nc/NcCompare.h"

#include <dtl/dtl.hpp>

#include <algorithm>
#include <unordered_map>

#include "nc/NcLines.h"

namespace quorlin::nc {

namespace {

constexpr size_t kContextLines = 3;

std::string KeyOf(std::string_view line, const CompareOptions& options) {
    std::string key(line);
    BlockNumber number;
    if (options.ignoreBlockNumbers && ClassifyLine(line) == LineKind::Block && FindBlockNumber(line, number)) {
        key.erase(number.start, number.endWithBlanks - number.start);
    }
    if (options.ignoreSpaces) std::erase_if(key, IsBlank);
    return key;
}

bool IsDifference(RowKind kind) {
    return kind == RowKind::Changed || kind == RowKind::Removed || kind == RowKind::Added;
}

// The lines of one side as numbers (equal keys, equal numbers), and the
// index of the line behind each number, lines left out by the options
// skipped.
struct Side {
    std::vector<int> keys;
    std::vector<long> lineOf;
};

Side MakeSide(const std::vector<std::string>& lines, const CompareOptions& options,
              std::unordered_map<std::string, int>& numbers) {
    Side side;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (options.ignoreSpaces && ClassifyLine(lines[i]) == LineKind::Blank) continue;
        const auto [it, added] = numbers.try_emplace(KeyOf(lines[i], options), static_cast<int>(numbers.size()));
        side.keys.push_back(it->second);
        side.lineOf.push_back(static_cast<long>(i));
    }
    return side;
}

std::vector<std::string> LinesOf(std::string_view text) {
    std::vector<std::string> lines;
    for (const TextLine& line : SplitLines(text)) lines.emplace_back(line.content);
    return lines;
}

// Turns the edit script into rows, in the order of both texts.
class RowBuilder {
public:
    explicit RowBuilder(std::vector<CompareRow>& rows) : m_rows(rows) {}

    void Same(long left, long right) {
        FlushChange();
        SkipTo(left, right);
        m_rows.push_back({RowKind::Same, left, right});
        m_nextLeft = left + 1;
        m_nextRight = right + 1;
    }
    void Removed(long left) {
        if (left > m_nextLeft) {
            FlushChange();
            SkipTo(left, m_nextRight);
        }
        m_removed.push_back(left);
        m_nextLeft = left + 1;
    }
    void Added(long right) {
        if (right > m_nextRight) {
            FlushChange();
            SkipTo(m_nextLeft, right);
        }
        m_added.push_back(right);
        m_nextRight = right + 1;
    }
    void Finish(long leftCount, long rightCount) {
        FlushChange();
        SkipTo(leftCount, rightCount);
    }

private:
    // Lines left out by the options before these indexes.
    void SkipTo(long left, long right) {
        for (; m_nextLeft < left; ++m_nextLeft) m_rows.push_back({RowKind::Ignored, m_nextLeft, -1});
        for (; m_nextRight < right; ++m_nextRight) m_rows.push_back({RowKind::Ignored, -1, m_nextRight});
    }
    // A run of removed and added lines: side by side as far as both go.
    void FlushChange() {
        const size_t paired = std::min(m_removed.size(), m_added.size());
        for (size_t i = 0; i < paired; ++i) m_rows.push_back({RowKind::Changed, m_removed[i], m_added[i]});
        for (size_t i = paired; i < m_removed.size(); ++i) m_rows.push_back({RowKind::Removed, m_removed[i], -1});
        for (size_t i = paired; i < m_added.size(); ++i) m_rows.push_back({RowKind::Added, -1, m_added[i]});
        m_removed.clear();
        m_added.clear();
    }

    std::vector<CompareRow>& m_rows;
    std::vector<long> m_removed;
    std::vector<long> m_added;
    long m_nextLeft = 0;
    long m_nextRight = 0;
};

std::string HunkRange(size_t before, size_t count) {
    const size_t first = count == 0 ? before : before + 1;
    return count == 1 ? std::to_string(first) : std::to_string(first) + "," + std::to_string(count);
}

}  // namespace

Comparison CompareTexts(std::string_view left, std::string_view right, const CompareOptions& options) {
    Comparison result;
    result.leftLines = LinesOf(left);
    result.rightLines = LinesOf(right);
    std::unordered_map<std::string, int> numbers;
    const Side a = MakeSide(result.leftLines, options, numbers);
    const Side b = MakeSide(result.rightLines, options, numbers);

    RowBuilder rows(result.rows);
    if (a.keys.empty() || b.keys.empty()) {
        for (long line : a.lineOf) rows.Removed(line);
        for (long line : b.lineOf) rows.Added(line);
    } else {
        dtl::Diff<int> diff(a.keys, b.keys);
        diff.compose();
        for (const auto& [key, info] : diff.getSes().getSequence()) {
            const long before = info.beforeIdx > 0 ? a.lineOf[static_cast<size_t>(info.beforeIdx - 1)] : -1;
            const long after = info.afterIdx > 0 ? b.lineOf[static_cast<size_t>(info.afterIdx - 1)] : -1;
            if (info.type == dtl::SES_COMMON) rows.Same(before, after);
            else if (info.type == dtl::SES_DELETE) rows.Removed(before);
            else rows.Added(after);
        }
    }
    rows.Finish(static_cast<long>(result.leftLines.size()), static_cast<long>(result.rightLines.size()));

    for (size_t i = 0; i < result.rows.size(); ++i)
        if (IsDifference(result.rows[i].kind) && (i == 0 || !IsDifference(result.rows[i - 1].kind)))
            result.differences.push_back(i);
    return result;
}

std::string UnifiedDiff(const Comparison& comparison, std::string_view leftName, std::string_view rightName) {
    if (!comparison.Differ()) return {};
    const std::vector<CompareRow>& rows = comparison.rows;
    std::string out;
    out.append("--- ").append(leftName).append("\n+++ ").append(rightName).append("\n");

    // Lines of each side before row i.
    size_t leftBefore = 0, rightBefore = 0, counted = 0;
    auto countUpTo = [&](size_t row) {
        for (; counted < row; ++counted) {
            leftBefore += rows[counted].left >= 0;
            rightBefore += rows[counted].right >= 0;
        }
    };

    size_t d = 0;
    while (d < comparison.differences.size()) {
        const size_t first = comparison.differences[d] > kContextLines ? comparison.differences[d] - kContextLines : 0;
        // Differences closer than twice the context share one hunk.
        size_t last = comparison.differences[d];
        for (;;) {
            while (last + 1 < rows.size() && IsDifference(rows[last + 1].kind)) ++last;
            const bool nextIsNear = d + 1 < comparison.differences.size() &&
                                    comparison.differences[d + 1] <= last + 2 * kContextLines + 1;
            if (nextIsNear) {
                last = comparison.differences[++d];
                continue;
            }
            break;
        }
        ++d;
        const size_t end = std::min(rows.size(), last + 1 + kContextLines);

        countUpTo(first);
        size_t leftCount = 0, rightCount = 0;
        for (size_t i = first; i < end; ++i) {
            leftCount += rows[i].left >= 0;
            rightCount += rows[i].right >= 0;
        }
        out.append("@@ -").append(HunkRange(leftBefore, leftCount));
        out.append(" +").append(HunkRange(rightBefore, rightCount)).append(" @@\n");

        // Each run of rows that are not alike on both sides: its left lines,
        // then its right lines.
        for (size_t i = first; i < end;) {
            if (rows[i].kind == RowKind::Same) {
                out.append(" ").append(comparison.leftLines[static_cast<size_t>(rows[i].left)]).append("\n");
                ++i;
                continue;
            }
            size_t runEnd = i;
            while (runEnd < end && rows[runEnd].kind != RowKind::Same) ++runEnd;
            for (size_t j = i; j < runEnd; ++j)
                if (rows[j].left >= 0)
                    out.append("-").append(comparison.leftLines[static_cast<size_t>(rows[j].left)]).append("\n");
            for (size_t j = i; j < runEnd; ++j)
                if (rows[j].right >= 0)
                    out.append("+").append(comparison.rightLines[static_cast<size_t>(rows[j].right)]).append("\n");
            i = runEnd;
        }
    }
    return out;
}

}  // namespace quorlin::nc
