#include "cli/ArgParser.h"

#include <cerrno>
#include <cstdlib>

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
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < min || value > max) return std::nullopt;
    return value;
}

}  // namespace quorlin::cli
