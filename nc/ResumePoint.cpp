#include "nc/ResumePoint.h"

#include <charconv>
#include <vector>

#include "nc/NcLines.h"

namespace quorlin::nc {

namespace {

// The number of a block's N word; false when the line has none (or one too
// long to be a block number).
bool BlockNumberOf(std::string_view line, std::int64_t& number, std::string_view& word) {
    if (ClassifyLine(line) != LineKind::Block) return false;
    BlockNumber found;
    if (!FindBlockNumber(line, found)) return false;
    word = line.substr(found.start, found.end - found.start);
    size_t digits = 1;
    while (digits < word.size() && IsBlank(word[digits])) ++digits;
    const auto result = std::from_chars(word.data() + digits, word.data() + word.size(), number);
    return result.ec == std::errc();
}

// The lines before the first that is neither the '%' line nor the
// program-number line nor blank between them: what the controller must see
// before any block.
size_t ProgramStartLines(const std::vector<TextLine>& lines) {
    size_t index = 0;
    auto skipBlank = [&] {
        while (index < lines.size() && ClassifyLine(lines[index].content) == LineKind::Blank) ++index;
    };
    skipBlank();
    if (index < lines.size() && ClassifyLine(lines[index].content) == LineKind::Percent) {
        ++index;
        skipBlank();
    }
    if (index < lines.size() && ClassifyLine(lines[index].content) == LineKind::ProgramNumber) return index + 1;
    return index;
}

std::string LineBreak(const TextLine& line) { return line.ending.empty() ? std::string("\r\n") : std::string(line.ending); }

}  // namespace

ResumeText PrepareResume(std::string_view program, const ResumeRequest& request) {
    ResumeText result;
    const std::vector<TextLine> lines = SplitLines(program);
    size_t at = lines.size();
    if (request.by == ResumeBy::Line) {
        if (request.number < 1 || request.number > static_cast<std::int64_t>(lines.size())) {
            result.refusal = "Line " + std::to_string(request.number) + " is not in the program: it has " +
                             std::to_string(lines.size()) + " lines.";
            return result;
        }
        at = static_cast<size_t>(request.number - 1);
    } else {
        for (size_t i = 0; i < lines.size(); ++i) {
            std::int64_t number = 0;
            std::string_view word;
            if (BlockNumberOf(lines[i].content, number, word) && number == request.number) {
                at = i;
                result.blockWord = std::string(word);
                break;
            }
        }
        if (at == lines.size()) {
            result.refusal = "Block N" + std::to_string(request.number) + " is not in the program.";
            return result;
        }
    }
    const size_t start = ProgramStartLines(lines);
    for (size_t i = 0; i < start && i < at; ++i) result.text += std::string(lines[i].content) + LineBreak(lines[i]);
    const size_t offset = static_cast<size_t>(lines[at].content.data() - program.data());
    result.text += program.substr(offset);
    result.line = static_cast<long>(at + 1);
    return result;
}

ResumeRequest ResumeRequestAt(std::string_view program, long lineIndex) {
    const std::vector<TextLine> lines = SplitLines(program);
    if (lineIndex >= 0 && static_cast<size_t>(lineIndex) < lines.size()) {
        std::int64_t number = 0;
        std::string_view word;
        // A number that an earlier block carries too would resume there:
        // such a line is named by its line number.
        if (BlockNumberOf(lines[static_cast<size_t>(lineIndex)].content, number, word) &&
            PrepareResume(program, {ResumeBy::Block, number}).line == lineIndex + 1)
            return {ResumeBy::Block, number};
    }
    return {ResumeBy::Line, lineIndex + 1};
}

}  // namespace quorlin::nc
