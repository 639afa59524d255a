#include "nc/ProgramHeader.h"

#include "nc/NcLines.h"

namespace quorlin::nc {

namespace {

constexpr size_t kLongestNumber = 9;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string WithoutBlanks(std::string_view text) {
    std::string kept;
    for (const char c : text)
        if (!IsBlank(c)) kept.push_back(Upper(c));
    return kept;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view WithoutLeadingZeros(std::string_view digits) {
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    return digits;
}

}  // namespace

std::optional<std::string> ProgramNumber(std::string_view text) {
    for (const TextLine& line : SplitLines(text)) {
        switch (ClassifyLine(line.content)) {
            case LineKind::Blank:
            case LineKind::Percent:
            case LineKind::CommentOnly: continue;
            case LineKind::Block: return std::nullopt;
            case LineKind::ProgramNumber: break;
        }
        size_t pos = 0;
        while (IsBlank(line.content[pos])) ++pos;
        const size_t start = pos + 1;  // behind 'O' or ':'
        size_t end = start;
        while (end < line.content.size() && IsDigit(line.content[end])) ++end;
        if (end - start > kLongestNumber) return std::nullopt;
        return std::string(line.content.substr(start, end - start));
    }
    return std::nullopt;
}

std::optional<std::string> FirstComment(std::string_view text) {
    for (const TextLine& line : SplitLines(text))
        for (const Segment& segment : SplitSegments(line.content)) {
            if (segment.kind != SegmentKind::Comment) continue;
            std::string_view inside = segment.text.substr(1);
            if (!inside.empty() && inside.back() == ')') inside.remove_suffix(1);
            return std::string(Trimmed(inside));
        }
    return std::nullopt;
}

std::optional<std::string> MatchNumberPattern(std::string_view comment, std::string_view pattern) {
    const size_t at = pattern.find(kNumberPlaceholder);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string before = WithoutBlanks(pattern.substr(0, at));
    const std::string after = WithoutBlanks(pattern.substr(at + kNumberPlaceholder.size()));
    const std::string text = WithoutBlanks(comment);
    if (text.size() < before.size() + after.size() + 1) return std::nullopt;
    if (text.compare(0, before.size(), before) != 0) return std::nullopt;
    if (text.compare(text.size() - after.size(), after.size(), after) != 0) return std::nullopt;
    const std::string digits = text.substr(before.size(), text.size() - before.size() - after.size());
    if (digits.size() > kLongestNumber) return std::nullopt;
    for (const char c : digits)
        if (!IsDigit(c)) return std::nullopt;
    return digits;
}

bool SameProgramNumber(std::string_view a, std::string_view b) {
    return !a.empty() && !b.empty() && WithoutLeadingZeros(a) == WithoutLeadingZeros(b);
}

}  // namespace quorlin::nc
