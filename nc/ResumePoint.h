#pragma once
// Where a drip feed that stopped half-way resumes: the program's start (its
// '%' line and program-number line, which the controller needs before any
// block) followed by the program from a chosen block or line.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorlin::nc {

enum class ResumeBy {
    Block,  // the first block whose N word carries the number (N0120 is N120)
    Line,   // the line of that number, counted from 1 as the editor counts
};

struct ResumeRequest {
    ResumeBy by = ResumeBy::Block;
    std::int64_t number = 0;
};

struct ResumeText {
    std::string text;       // the start, then the program from the chosen line on
    long line = 0;          // 1-based line of the program it resumes at
    std::string blockWord;  // the block's N word as it stands ("N0120"); empty when by line
    std::string refusal;    // why nothing may be sent; empty when the point was found

    bool Refused() const { return !refusal.empty(); }
};

// The text to send to resume program at the requested block or line. Lines
// of the start that come after that point are not repeated.
ResumeText PrepareResume(std::string_view program, const ResumeRequest& request);

// The block or line a person would name at a 0-based editor line: its block
// number when it carries one that no earlier block carries, else the line.
ResumeRequest ResumeRequestAt(std::string_view program, long lineIndex);

}  // namespace quorlin::nc
