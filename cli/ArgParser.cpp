#include "cli/ArgParser.h"

#include <cstdio>
#include <limits>

namespace quorlin::cli {

std::optional<std::string> ParsedArgs::Value(const std::string& name) const {
    auto range = values_.equal_range(name);
    if (range.first == range.second) return std::nullopt;
    return std::prev(range.second)->second;
}

std::vector<std::string> ParsedArgs::Values(const std::string& name) const {
    std::vector<std::string> result;
    auto range = values_.equal_range(name);
    for (auto it = range.first; it != range.second; ++it) result.push_back(it->second);
    return result;
}

std::optional<std::string> ParseArgs(const std::vector<std::string>& args,
                                     const std::vector<OptionSpec>& spec, ParsedArgs& out) {
    out = ParsedArgs{};
    auto find = [&spec](const std::string& name) -> const OptionSpec* {
        static const OptionSpec help{"help", false};
        if (name == "help") return &help;
        for (const auto& option : spec)
            if (option.name == name) return &option;
        return nullptr;
    };
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            out.positional_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> inlineValue;
        if (auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        const OptionSpec* option = find(name);
        if (!option) return "unknown option --" + name;
        if (!option->takesValue) {
            if (inlineValue) return "option --" + name + " takes no value";
            out.values_.emplace(name, "");
            continue;
        }
        if (inlineValue) {
            out.values_.emplace(name, *inlineValue);
        } else if (i + 1 < args.size()) {
            out.values_.emplace(name, args[++i]);
        } else {
            return "option --" + name + " needs a value";
        }
    }
    return std::nullopt;
}

std::optional<long> ParseNumber(const std::string& text, long min, long max) {
    // Only the one way of writing each number: no blanks, no '+', no leading
    // zeros and no "-0", so that what was typed is what was meant.
    const bool negative = !text.empty() && text.front() == '-';
    const std::string digits = negative ? text.substr(1) : text;
    if (digits.empty() || (digits.front() == '0' && (digits.size() > 1 || negative))) return std::nullopt;
    unsigned long magnitude = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        const unsigned long digit = static_cast<unsigned long>(c - '0');
        if (magnitude > (std::numeric_limits<unsigned long>::max() - digit) / 10) return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    // Compared as magnitudes, so that no value outside long is ever formed.
    if (negative) {
        if (min >= 0 || magnitude > 0UL - static_cast<unsigned long>(min)) return std::nullopt;
        const long value = -static_cast<long>(magnitude - 1) - 1;
        if (value > max) return std::nullopt;
        return value;
    }
    if (max < 0 || magnitude > static_cast<unsigned long>(max)) return std::nullopt;
    const long value = static_cast<long>(magnitude);
    if (value < min) return std::nullopt;
    return value;
}

int CommandLineError(const char* command, const std::string& reason) {
    std::fprintf(stderr, "quorlin-cli %s: %s (try --help)\n", command, reason.c_str());
    return kExitUsage;
}

}  // namespace quorlin::cli
