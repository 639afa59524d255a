#pragma once
// Line-by-line comparison of two NC program texts (bytes, see NcLines.h),
// for the Compare window and quorlin-cli compare. Line breaks never count:
// a program received with LF compares equal to its CR LF master.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorlin::nc {

struct CompareOptions {
    // Blanks (in comments too) never count, and lines of nothing but blanks
    // are left out: the send protocols drop both.
    bool ignoreSpaces = false;
    // A block's N word never counts.
    bool ignoreBlockNumbers = false;
};

enum class RowKind {
    Same,     // the line on both sides
    Changed,  // a line on each side, different
    Removed,  // a line only on the left
    Added,    // a line only on the right
    Ignored,  // a line on one side that the options leave out
};

// One row of the two panes; a side without a line has index -1.
struct CompareRow {
    RowKind kind = RowKind::Same;
    long left = -1;   // 0-based line index
    long right = -1;
};

struct Comparison {
    std::vector<std::string> leftLines;
    std::vector<std::string> rightLines;
    std::vector<CompareRow> rows;
    // The first row of each difference: a run of Changed, Removed and Added
    // rows.
    std::vector<size_t> differences;

    bool Differ() const { return !differences.empty(); }
};

Comparison CompareTexts(std::string_view left, std::string_view right, const CompareOptions& options);

// The differences in the unified form ("--- left", "+++ right", hunks of
// "@@ -a,b +c,d @@" with three lines of context), empty when there are none.
std::string UnifiedDiff(const Comparison& comparison, std::string_view leftName, std::string_view rightName);

}  // namespace quorlin::nc
