#include "nc/NcTools.h"

#include <cctype>

#include "nc/NcLines.h"

namespace quorlin::nc {

namespace {

// Lines whose words a tool may touch.
bool IsEditable(LineKind kind) { return kind == LineKind::Block || kind == LineKind::CommentOnly; }

template <typename EditLine>
std::string EachLine(std::string_view text, EditLine edit) {
    std::string out;
    out.reserve(text.size());
    for (const TextLine& line : SplitLines(text)) {
        if (IsEditable(ClassifyLine(line.content))) out += edit(line.content);
        else out += line.content;
        out += line.ending;
    }
    return out;
}

std::string TrimEnd(std::string text) {
    while (!text.empty() && IsBlank(text.back())) text.pop_back();
    return text;
}

// True when some block of the text puts blanks between its words.
bool ProgramIsSpaced(const std::vector<TextLine>& lines) {
    for (const TextLine& line : lines) {
        if (ClassifyLine(line.content) != LineKind::Block) continue;
        for (const Segment& segment : SplitSegments(line.content)) {
            if (segment.kind != SegmentKind::Code) continue;
            const std::string_view code = segment.text;
            const size_t first = code.find_first_not_of(" \t");
            const size_t last = code.find_last_not_of(" \t");
            if (first != std::string_view::npos && code.substr(first, last - first + 1).find_first_of(" \t") !=
                                                        std::string_view::npos)
                return true;
        }
    }
    return false;
}

// GOTO n, or M97/M99 with a P word: renumbering moves their targets.
bool JumpsToBlockNumber(std::string_view line) {
    std::string code;
    for (const Segment& segment : SplitSegments(line))
        if (segment.kind == SegmentKind::Code)
            for (char c : segment.text)
                if (!IsBlank(c)) code += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (code.find("GOTO") != std::string::npos) return true;
    for (const char* call : {"M97", "M99"}) {
        const size_t at = code.find(call);
        if (at != std::string::npos && !(at + 3 < code.size() && IsDigit(code[at + 3])) &&
            code.find('P') != std::string::npos)
            return true;
    }
    return false;
}

std::string FormatNumber(std::int64_t number, int width) {
    std::string digits = std::to_string(number);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    return digits;
}

// The words of a code segment, blanks dropped. A word begins at a letter
// that follows something else than a letter (so "GOTO" and "IF" stay whole),
// outside brackets (so "[#1GT10]" stays whole) and not right after the
// block-delete mark.
void SplitWords(std::string_view code, bool lineStart, std::vector<std::string>& words) {
    int depth = 0;
    char previous = 0;
    for (char c : code) {
        if (IsBlank(c)) continue;
        const bool startsWord = words.empty() ||
                                (depth == 0 && IsLetter(c) && !IsLetter(previous) &&
                                 !(lineStart && words.size() == 1 && words.front() == "/"));
        if (startsWord) words.emplace_back();
        words.back() += c;
        if (c == '[') ++depth;
        else if (c == ']' && depth > 0) --depth;
        previous = c;
    }
}

std::string SpaceLine(std::string_view line) {
    std::string out;
    bool first = true;
    for (const Segment& segment : SplitSegments(line)) {
        switch (segment.kind) {
        case SegmentKind::Code: {
            std::vector<std::string> words;
            SplitWords(segment.text, first, words);
            for (const std::string& word : words) {
                if (!out.empty()) out += ' ';
                out += word;
            }
            break;
        }
        case SegmentKind::Comment:
            if (!out.empty()) out += ' ';
            out += segment.text;
            break;
        case SegmentKind::Kept: out += segment.text; break;
        }
        first = false;
    }
    return out;
}

}  // namespace

RenumberResult Renumber(std::string_view text, const RenumberOptions& options) {
    const std::vector<TextLine> lines = SplitLines(text);
    const bool spaced = ProgramIsSpaced(lines);
    RenumberResult result;
    result.text.reserve(text.size() + text.size() / 4);
    std::int64_t next = options.start;
    for (const TextLine& line : lines) {
        std::string content(line.content);
        if (ClassifyLine(line.content) == LineKind::Block) {
            if (JumpsToBlockNumber(line.content)) ++result.jumpBlocks;
            BlockNumber number;
            if (FindBlockNumber(line.content, number)) {
                content.replace(number.start + 1, number.end - number.start - 1, FormatNumber(next, options.width));
            } else if (options.numberUnnumbered) {
                content.insert(BlockStart(line.content), "N" + FormatNumber(next, options.width) + (spaced ? " " : ""));
            } else {
                content.clear();
            }
            if (!content.empty()) {
                ++result.numbered;
                result.lastNumber = next;
                const bool wider = options.width > 0 && static_cast<int>(std::to_string(next).size()) > options.width;
                if (wider && result.firstWider < 0) result.firstWider = next;
                next += options.step;
            } else {
                content = line.content;
            }
        }
        result.text += content;
        result.text += line.ending;
    }
    // A number past the limit is one that no control stores and that a
    // resumed send cannot find: the program stays as it was.
    if (result.TooLarge()) result.text.assign(text);
    return result;
}

std::string RemoveBlockNumbers(std::string_view text) {
    return EachLine(text, [](std::string_view line) {
        std::string content(line);
        BlockNumber number;
        if (ClassifyLine(line) == LineKind::Block && FindBlockNumber(line, number)) {
            content.erase(number.start, number.endWithBlanks - number.start);
        }
        return content;
    });
}

std::string Compact(std::string_view text) {
    return EachLine(text, [](std::string_view line) {
        std::string out;
        for (const Segment& segment : SplitSegments(line)) {
            if (segment.kind != SegmentKind::Code) {
                out += segment.text;
                continue;
            }
            for (char c : segment.text)
                if (!IsBlank(c)) out += c;
        }
        return out;
    });
}

std::string SpaceWords(std::string_view text) { return EachLine(text, SpaceLine); }

std::string RemoveComments(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const TextLine& line : SplitLines(text)) {
        const LineKind kind = ClassifyLine(line.content);
        if (!IsEditable(kind)) {
            out += line.content;
            out += line.ending;
            continue;
        }
        std::string kept;
        bool hadComment = false;
        bool blankPending = false;  // a blank stood beside a dropped comment
        for (const Segment& segment : SplitSegments(line.content)) {
            if (segment.kind == SegmentKind::Comment) {
                hadComment = true;
                if (!kept.empty() && IsBlank(kept.back())) blankPending = true;
                kept = TrimEnd(std::move(kept));
                continue;
            }
            std::string_view part = segment.text;
            if (hadComment) {
                if (!part.empty() && IsBlank(part.front())) blankPending = true;
                while (!part.empty() && IsBlank(part.front())) part.remove_prefix(1);
            }
            if (part.empty()) continue;
            // "G01 (FEED) X10" keeps one blank, "G01(FEED)X10" none.
            if (blankPending && !kept.empty()) kept += ' ';
            blankPending = false;
            kept += part;
        }
        if (!hadComment) {
            out += line.content;
            out += line.ending;
            continue;
        }
        kept = TrimEnd(std::move(kept));
        if (kept.empty()) continue;  // the line held nothing but comments
        out += kept;
        out += line.ending;
    }
    return out;
}

}  // namespace quorlin::nc
