#pragma once
// A small parser for "command --option value --flag positional" lines.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorlin::cli {

// Exit statuses the commands share: done, failed (the message on standard
// error), and a command line that cannot be understood.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct OptionSpec {
    std::string name;  // without the leading "--"
    bool takesValue;   // false: a flag
};

class ParsedArgs {
public:
    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    // The last value given for the option, if any.
    std::optional<std::string> Value(const std::string& name) const;
    // Every value given for a repeatable option, in command-line order.
    std::vector<std::string> Values(const std::string& name) const;
    const std::vector<std::string>& Positional() const { return positional_; }

private:
    friend std::optional<std::string> ParseArgs(const std::vector<std::string>&,
                                                const std::vector<OptionSpec>&, ParsedArgs&);
    std::multimap<std::string, std::string> values_;
    std::vector<std::string> positional_;
};

// Parses args against spec ("--help" is always known as a flag). Accepts both
// "--name value" and "--name=value"; "--" ends the options. Returns a one-line
// reason when the line cannot be understood.
std::optional<std::string> ParseArgs(const std::vector<std::string>& args,
                                     const std::vector<OptionSpec>& spec, ParsedArgs& out);

// Prints "quorlin-cli COMMAND: REASON (try --help)" on stderr; kExitUsage.
int CommandLineError(const char* command, const std::string& reason);

// Parses a decimal number within [min, max] written the one plain way: digits
// only, a '-' before a negative one, no leading zeros, no blanks, no '+', no
// "-0". nullopt otherwise.
std::optional<long> ParseNumber(const std::string& text, long min, long max);

}  // namespace quorlin::cli
