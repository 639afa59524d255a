#pragma once
// Edits that operators make on whole NC programs or parts of them. Each takes
// a text (bytes, see NcLines.h) and returns the new text; line breaks, '%'
// lines, program-number lines, the insides of comments and ';' text are
// never changed (Remove comments drops comments whole).

#include <cstdint>
#include <string>
#include <string_view>

namespace quorlin::nc {

struct RenumberOptions {
    std::int64_t start = 10;
    std::int64_t step = 10;
    int width = 0;               // digits, zero-padded; 0: as many as needed
    bool numberUnnumbered = false;  // also give an N word to blocks without one
};

inline constexpr int kMaxNumberWidth = 9;
// The largest block number a control holds, and so the largest that a
// resumed send (--from-block) looks for and that Renumber gives.
inline constexpr std::int64_t kMaxBlockNumber = 999999999;

struct RenumberResult {
    std::string text;
    int numbered = 0;      // blocks that carry a number now
    int jumpBlocks = 0;    // blocks that jump to a block number (GOTO, M97/M99 P)
    std::int64_t lastNumber = -1;   // the last block's number; -1 when no block is numbered
    std::int64_t firstWider = -1;   // the first number with more digits than width; -1 when none

    // The numbers would pass kMaxBlockNumber: text is the program unchanged
    // and lastNumber the number its last block would have got.
    bool TooLarge() const { return lastNumber > kMaxBlockNumber; }
};

// Numbers blocks start, start+step, ... in order. Blank lines, comment
// lines, '%' lines and program-number lines get no number; a block without
// an N word keeps having none unless numberUnnumbered. A new N word is
// followed by a blank when the program puts blanks between its words.
// A number wider than width is written whole (firstWider says where the
// numbers outgrow it); numbers that a control cannot hold are not written
// at all (TooLarge).
RenumberResult Renumber(std::string_view text, const RenumberOptions& options);

// Drops each block's N word and the blanks after it.
std::string RemoveBlockNumbers(std::string_view text);

// Drops the blanks outside comments: the form controllers store.
std::string Compact(std::string_view text);

// One blank between words and around comments, none at the start or end of
// a line: the form people read.
std::string SpaceWords(std::string_view text);

// Drops comments and the blanks before them; a line that held nothing but
// comments goes with its line break. A program-number line keeps its
// comment: it names the program in the controller's directory.
std::string RemoveComments(std::string_view text);

}  // namespace quorlin::nc
