#include "nc/NcLines.h"

namespace quorlin::nc {

std::vector<TextLine> SplitLines(std::string_view text) {
    std::vector<TextLine> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t brk = text.find_first_of("\r\n", start);
        if (brk == std::string_view::npos) {
            lines.push_back({text.substr(start), {}});
            break;
        }
        const size_t width = text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n' ? 2 : 1;
        lines.push_back({text.substr(start, brk - start), text.substr(brk, width)});
        start = brk + width;
    }
    return lines;
}

std::vector<Segment> SplitSegments(std::string_view line) {
    std::vector<Segment> segments;
    size_t pos = 0;
    while (pos < line.size()) {
        const size_t mark = line.find_first_of("(;", pos);
        if (mark == std::string_view::npos) {
            segments.push_back({SegmentKind::Code, line.substr(pos)});
            break;
        }
        if (mark > pos) segments.push_back({SegmentKind::Code, line.substr(pos, mark - pos)});
        if (line[mark] == ';') {
            segments.push_back({SegmentKind::Kept, line.substr(mark)});
            break;
        }
        const size_t close = line.find(')', mark);
        const size_t end = close == std::string_view::npos ? line.size() : close + 1;
        segments.push_back({SegmentKind::Comment, line.substr(mark, end - mark)});
        pos = end;
    }
    return segments;
}

LineKind ClassifyLine(std::string_view line) {
    size_t first = 0;
    while (first < line.size() && IsBlank(line[first])) ++first;
    if (first == line.size()) return LineKind::Blank;
    const char c = line[first];
    if (c == '%') return LineKind::Percent;
    if ((c == 'O' || c == 'o' || c == ':') && first + 1 < line.size() && IsDigit(line[first + 1]))
        return LineKind::ProgramNumber;
    for (const Segment& segment : SplitSegments(line)) {
        if (segment.kind != SegmentKind::Code) continue;
        for (char ch : segment.text)
            if (!IsBlank(ch)) return LineKind::Block;
    }
    return LineKind::CommentOnly;
}

size_t BlockStart(std::string_view line) {
    size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos < line.size() && line[pos] == '/') {
        ++pos;
        while (pos < line.size() && IsDigit(line[pos])) ++pos;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
    }
    return pos;
}

bool FindBlockNumber(std::string_view line, BlockNumber& found) {
    const size_t start = BlockStart(line);
    if (start >= line.size() || (line[start] != 'N' && line[start] != 'n')) return false;
    size_t pos = start + 1;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || !IsDigit(line[pos])) return false;
    while (pos < line.size() && IsDigit(line[pos])) ++pos;
    size_t blanksEnd = pos;
    while (blanksEnd < line.size() && IsBlank(line[blanksEnd])) ++blanksEnd;
    found = {start, pos, blanksEnd};
    return true;
}

}  // namespace quorlin::nc
