#pragma once
// What names a program that a controller punches out: the number of its
// program-number line ("O1234", ":1234") and its first comment, which is
// where an operator writes what the program is, or which program a request
// asks for ("(REQ O1234)").

#include <optional>
#include <string>
#include <string_view>

namespace quorlin::nc {

// The digits of the program-number line, as written ("0012" for "O0012"):
// the first line that is neither blank, a '%' line nor comments only. None
// when that line is a block, or the number is longer than nine digits.
std::optional<std::string> ProgramNumber(std::string_view text);

// The inside of the program's first comment, without its parentheses and
// the blanks around it. None when the program has no comment.
std::optional<std::string> FirstComment(std::string_view text);

// The placeholder of a number in a pattern ("REQ O{number}", "O{number}.nc").
inline constexpr std::string_view kNumberPlaceholder = "{number}";

// The digits that take the placeholder's place when comment matches
// pattern. Letters match either case and blanks are left out on both
// sides: controllers differ in whether their comments keep them.
std::optional<std::string> MatchNumberPattern(std::string_view comment, std::string_view pattern);

// Whether two program numbers are one (leading zeros aside: O0012 is O12).
bool SameProgramNumber(std::string_view a, std::string_view b);

}  // namespace quorlin::nc
