#pragma once
// The parts of an NC program text that the tools and the comparison work on.
// A text is bytes (one character each); its lines end in CR LF, LF or CR,
// each line's own break is kept. Comments run from '(' to the next ')' or to
// the end of the line. A ';' and everything after it on its line is left
// alone: some controllers take it as the end of a block, others as a comment,
// so no tool may change or drop it.

#include <string>
#include <string_view>
#include <vector>

namespace quorlin::nc {

struct TextLine {
    std::string_view content;  // without the line break
    std::string_view ending;   // "\r\n", "\n", "\r" or empty (the last line)
};

// The lines of text; a text that ends in a line break has no empty line
// after it.
std::vector<TextLine> SplitLines(std::string_view text);

enum class SegmentKind {
    Code,     // words, with the blanks between them
    Comment,  // "(...)", the parentheses included; may lack its ')'
    Kept,     // from ';' to the end of the line
};

struct Segment {
    SegmentKind kind;
    std::string_view text;
};

std::vector<Segment> SplitSegments(std::string_view line);

enum class LineKind {
    Blank,          // nothing but blanks
    Percent,        // a '%' line: start or end of the program text
    ProgramNumber,  // "O1234" or ":1234", perhaps with a comment
    CommentOnly,    // comments (or ';' text) and blanks only
    Block,          // a block with words
};

LineKind ClassifyLine(std::string_view line);

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Where a block's N word lies: from its letter to the end of its digits.
struct BlockNumber {
    size_t start = 0;  // index of the letter N
    size_t end = 0;    // one past the last digit
    size_t endWithBlanks = 0;  // one past the blanks that follow it
};

// The position after the blanks and the block-delete mark ("/" or "/1")
// that open a block: an N word starts here, and one is put here.
size_t BlockStart(std::string_view line);

// The block's N word, if the block starts with one ("N10", "n10", "N 10").
bool FindBlockNumber(std::string_view line, BlockNumber& found);

}  // namespace quorlin::nc
