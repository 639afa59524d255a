// quorlin-cli nc-tool and compare: the editor's NC tools and its Compare
// window on files. Files are bytes; nothing is decoded.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <string>

#include "cli/ArgParser.h"
#include "cli/Commands.h"
#include "cli/FileRefusal.h"
#include "nc/NcCompare.h"
#include "nc/NcTools.h"

namespace quorlin::cli {

namespace {

// compare: 0 same, 1 different, 2 trouble (as diff does).
constexpr int kExitDifferent = 1;
constexpr int kExitTrouble = 2;

const char* const kNcToolHelp =
    "usage: quorlin-cli nc-tool TOOL [OPTIONS] FILE\n"
    "\n"
    "Applies one of the editor's NC tools to the program FILE and prints the\n"
    "result (or writes it to --output). Comments in parentheses, '%' lines,\n"
    "program-number lines (O1234), ';' text and line breaks are never changed.\n"
    "\n"
    "tools:\n"
    "  renumber         number the blocks: --start N (10), --step N (10),\n"
    "                   --width DIGITS (0: as many as needed, at most 9),\n"
    "                   --all also numbers blocks that had no N word\n"
    "  remove-numbers   drop every block's N word\n"
    "  compact          drop the blanks between words\n"
    "  space            one blank between words\n"
    "  remove-comments  drop comments and lines of nothing but comments\n"
    "\n"
    "  --output PATH    write the result to PATH (it may be FILE); the old file is\n"
    "                   replaced only when the new one is complete. PATH is a\n"
    "                   regular file or a new name; a link keeps standing and the\n"
    "                   file it leads to gets the result\n"
    "\n"
    "Exits 0 when done, 1 when a file cannot be read or written, 2 when the\n"
    "command line is wrong. renumber warns on stderr when the program jumps to\n"
    "block numbers (GOTO, M97/M99 P): their targets are not renumbered, and when\n"
    "the numbers outgrow --width. It refuses a --start and --step whose numbers\n"
    "would pass 999999999, the largest block number a control holds.\n";

const char* const kCompareHelp =
    "usage: quorlin-cli compare [--ignore-spaces] [--ignore-block-numbers] A B\n"
    "\n"
    "Compares the NC programs A and B line by line, as Tool > Compare with File\n"
    "does, and prints the differences in the unified form of diff -u. Line\n"
    "breaks (CR LF, LF, CR) never count.\n"
    "\n"
    "  --ignore-spaces         blanks, and lines of nothing but blanks, do not count\n"
    "  --ignore-block-numbers  the blocks' N words do not count\n"
    "\n"
    "Exits 0 when the programs are the same, 1 when they differ, 2 when a file\n"
    "cannot be read or is no regular file, or the command line is wrong.\n";

std::optional<std::string> ReadFile(const char* command, const std::string& path) {
    // None of these is a program: reading a folder throws, a device such as
    // /dev/zero never ends and a named pipe waits for a writer.
    if (const auto refused = RefuseFile(path, FileRole::Source)) {
        std::fprintf(stderr, "quorlin-cli %s: %s\n", command, refused->c_str());
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "quorlin-cli %s: cannot read %s: %s\n", command, path.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::fprintf(stderr, "quorlin-cli %s: cannot read %s\n", command, path.c_str());
        return std::nullopt;
    }
    return bytes;
}

bool WriteStdout(const char* command, const std::string& bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "quorlin-cli %s: cannot write the result: %s\n", command, std::strerror(errno));
        return false;
    }
    return true;
}

// The file that --output names: a link is followed to the file it leads to,
// so that the result replaces that file in its own folder and the link
// stays. Renaming over the link itself would detach it from the master
// program it stands for; renaming over a device node or a named pipe would
// replace it. So only a regular file or a new name is taken.
std::optional<std::string> OutputTarget(const std::string& path, std::filesystem::path& target) {
    // As many links as the system itself follows before it gives up.
    constexpr int kMaxLinks = 40;
    target = path;
    for (int links = 0;; ++links) {
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::symlink_status(target, error);
        if (status.type() == std::filesystem::file_type::not_found) {
            if (links == 0) return std::nullopt;
            return path + " is a link to " + target.string() + ", which does not exist";
        }
        if (status.type() == std::filesystem::file_type::none) return path + ": " + error.message();
        if (!std::filesystem::is_symlink(status)) break;
        if (links == kMaxLinks) return path + ": too many levels of links";
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error) return path + ": " + error.message();
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return RefuseFile(target.string(), FileRole::Target);
}

// A new file beside path that no other file or link stands on (opened
// exclusively, so an old link of that name is never written through).
std::FILE* CreateBeside(const std::string& path, std::string& temporary) {
    constexpr int kTries = 100;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        temporary = path + ".quorlin-new" + (attempt == 0 ? std::string() : "-" + std::to_string(attempt));
        if (std::FILE* file = std::fopen(temporary.c_str(), "wbx")) return file;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

// Writes beside the target, then renames over it: a failed write leaves the
// old program as it was.
bool WriteReplacing(const std::string& path, const std::string& bytes) {
    std::filesystem::path resolved;
    if (const auto refused = OutputTarget(path, resolved)) {
        std::fprintf(stderr, "quorlin-cli nc-tool: %s\n", refused->c_str());
        return false;
    }
    const std::string target = resolved.string();
    std::string temporary;
    std::FILE* out = CreateBeside(target, temporary);
    if (out == nullptr) {
        std::fprintf(stderr, "quorlin-cli nc-tool: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && std::fflush(out) == 0;
    const int writeError = errno;
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "quorlin-cli nc-tool: cannot write %s: %s\n", path.c_str(),
                     std::strerror(written ? errno : writeError));
        std::remove(temporary.c_str());
        return false;
    }
    std::error_code error;
    // A program that is replaced keeps its permissions.
    const auto status = std::filesystem::status(target, error);
    if (!error && std::filesystem::exists(status))
        std::filesystem::permissions(temporary, status.permissions(), error);
    error.clear();
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::fprintf(stderr, "quorlin-cli nc-tool: cannot write %s: %s\n", path.c_str(), error.message().c_str());
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

// The number of option name, or fallback when it is not given; false (and
// the reason printed) when it is not a number within [min, max].
bool NumberOption(const ParsedArgs& parsed, const char* name, long min, long max, long& value) {
    const auto given = parsed.Value(name);
    if (!given) return true;
    const auto number = ParseNumber(*given, min, max);
    if (!number) {
        CommandLineError("nc-tool", std::string("--") + name + " takes a number from " + std::to_string(min) + " to " +
                                  std::to_string(max) + ", not '" + *given + "'");
        return false;
    }
    value = *number;
    return true;
}

}  // namespace

int RunNcTool(const Args& args) {
    static const std::vector<OptionSpec> spec = {
        {"start", true}, {"step", true}, {"width", true}, {"all", false}, {"output", true}};
    ParsedArgs parsed;
    if (auto reason = ParseArgs(args, spec, parsed)) return CommandLineError("nc-tool", *reason);
    if (parsed.Has("help")) {
        std::fputs(kNcToolHelp, stdout);
        return kExitDone;
    }
    if (parsed.Positional().size() != 2) return CommandLineError("nc-tool", "give a TOOL and one FILE");
    const std::string& tool = parsed.Positional()[0];
    const bool renumber = tool == "renumber";
    if (!renumber && (parsed.Has("start") || parsed.Has("step") || parsed.Has("width") || parsed.Has("all")))
        return CommandLineError("nc-tool", "--start, --step, --width and --all belong to renumber");

    long start = 10, step = 10, width = 0;
    if (!NumberOption(parsed, "start", 0, nc::kMaxBlockNumber, start) ||
        !NumberOption(parsed, "step", 1, nc::kMaxBlockNumber, step) ||
        !NumberOption(parsed, "width", 0, nc::kMaxNumberWidth, width))
        return kExitUsage;
    nc::RenumberOptions options;
    options.start = start;
    options.step = step;
    options.width = static_cast<int>(width);
    options.numberUnnumbered = parsed.Has("all");

    std::string (*edit)(std::string_view) = nullptr;
    if (tool == "remove-numbers") edit = nc::RemoveBlockNumbers;
    else if (tool == "compact") edit = nc::Compact;
    else if (tool == "space") edit = nc::SpaceWords;
    else if (tool == "remove-comments") edit = nc::RemoveComments;
    else if (!renumber) return CommandLineError("nc-tool", "unknown tool '" + tool + "'");

    const auto text = ReadFile("nc-tool", parsed.Positional()[1]);
    if (!text) return kExitFailed;
    std::string result;
    if (renumber) {
        nc::RenumberResult renumbered = nc::Renumber(*text, options);
        // Nothing is written: numbers past the limit are ones no control
        // stores and no resumed send can find.
        if (renumbered.TooLarge())
            return CommandLineError("nc-tool", "with --start " + std::to_string(start) + " and --step " +
                                                   std::to_string(step) + " the last block would be N" +
                                                   std::to_string(renumbered.lastNumber) +
                                                   "; a control holds block numbers up to " +
                                                   std::to_string(nc::kMaxBlockNumber));
        // Wider numbers are still right, only longer: the result is written,
        // and the person who asked for the width learns where it was outgrown.
        if (renumbered.firstWider >= 0)
            std::fprintf(stderr, "quorlin-cli nc-tool: the block numbers outgrow --width %ld from N%lld on; "
                                 "the last is N%lld\n",
                         width, static_cast<long long>(renumbered.firstWider),
                         static_cast<long long>(renumbered.lastNumber));
        if (renumbered.jumpBlocks > 0)
            std::fprintf(stderr,
                         "quorlin-cli nc-tool: %d block(s) jump to block numbers (GOTO, M97/M99 P); "
                         "check their targets\n",
                         renumbered.jumpBlocks);
        result = std::move(renumbered.text);
    } else {
        result = edit(*text);
    }
    if (const auto output = parsed.Value("output")) return WriteReplacing(*output, result) ? kExitDone : kExitFailed;
    return WriteStdout("nc-tool", result) ? kExitDone : kExitFailed;
}

int RunCompare(const Args& args) {
    static const std::vector<OptionSpec> spec = {{"ignore-spaces", false}, {"ignore-block-numbers", false}};
    ParsedArgs parsed;
    if (auto reason = ParseArgs(args, spec, parsed)) return CommandLineError("compare", *reason);
    if (parsed.Has("help")) {
        std::fputs(kCompareHelp, stdout);
        return kExitDone;
    }
    if (parsed.Positional().size() != 2) return CommandLineError("compare", "give two files A and B");
    const std::string& leftPath = parsed.Positional()[0];
    const std::string& rightPath = parsed.Positional()[1];
    const auto left = ReadFile("compare", leftPath);
    if (!left) return kExitTrouble;
    const auto right = ReadFile("compare", rightPath);
    if (!right) return kExitTrouble;

    nc::CompareOptions options;
    options.ignoreSpaces = parsed.Has("ignore-spaces");
    options.ignoreBlockNumbers = parsed.Has("ignore-block-numbers");
    const nc::Comparison comparison = nc::CompareTexts(*left, *right, options);
    if (!comparison.Differ()) return kExitDone;
    if (!WriteStdout("compare", nc::UnifiedDiff(comparison, leftPath, rightPath))) return kExitTrouble;
    return kExitDifferent;
}

}  // namespace quorlin::cli
