// quorlin-cli convert, batch-convert and check: the converter dialogs and the
// download's file check, driven from the command line. Each prints the
// messages the dialog would show, one per line (errors on stderr).

#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "cli/ArgParser.h"
#include "cli/Commands.h"
#include "convert/BatchConverter.h"
#include "convert/ConvertMessages.h"
#include "convert/Converter.h"
#include "convert/FileError.h"
#include "convert/ImageCheck.h"
#include "convert/Paths.h"
#include "convert/PosixFile.h"
#include "convert/UpdateFile.h"

namespace quorlin::cli {

namespace {


const char* const kConvertHelp =
    "usage: quorlin-cli convert --type 0|1|2 [--version TEXT] [--date TEXT]\n"
    "                           [--target DIR] [--source1 PATH] [--source2 PATH]\n"
    "\n"
    "Converts one or two sources into a controller update file, as the Convert\n"
    "dialog does with these box contents (an option left out is an empty box).\n"
    "\n"
    "  --type N       target type: 0 \"66G\" (SYS and the ROM image 66G.dat),\n"
    "                 1 \"57Q\" (SYS from the source's byte 65,537 on),\n"
    "                 2 \"P70,P80,P90\" (QZSYS, USERPIC or HZK16 by the sources)\n"
    "  --version TEXT at most 4 characters, stored in the header\n"
    "  --date TEXT    at most 6 characters, stored in the header\n"
    "  --target DIR   folder that receives the outputs (default: current folder)\n"
    "  --source1 PATH first source (.bin, .dat, .bmp or a file without extension)\n"
    "  --source2 PATH second source, of another kind than the first\n"
    "\n"
    "Sources must be regular files and no output may be one of them. Each output\n"
    "is written beside its target and replaces it only when complete: a failed\n"
    "conversion (a full disk, say) leaves the old file as it was.\n"
    "\n"
    "Prints each message the dialog shows, one per line (errors on stderr);\n"
    "exits 0 after \"File converting finished!\", 1 after an error, 2 when the\n"
    "command line is wrong.\n";

const char* const kBatchHelp =
    "usage: quorlin-cli batch-convert [--dat] [--tag NAME=TAG]... FOLDER\n"
    "\n"
    "Converts every .bin file of FOLDER (every .dat file with --dat) into a ROM\n"
    "image of at least 512 KiB, named like the file but ending in .rom, in\n"
    "FOLDER/Bin_Dst (FOLDER/Dat_Dst), as the Batch convert dialog does. The batch\n"
    "stops at the first failure; a FOLDER that cannot be listed is a failure.\n"
    "Outputs replace their old files only when complete.\n"
    "\n"
    "  --dat          convert the .dat files instead of the .bin files\n"
    "  --tag NAME=TAG also write the update file TAG for the listed file NAME\n"
    "                 (its name with extension, such as ABC.bin);\n"
    "                 TAG is one of QVA QV2 SYS DTA UDA UDB UDC UDD UDE\n"
    "\n"
    "Prints each message the dialog shows, one per line (errors on stderr);\n"
    "exits 0 after \"File converting finished!\", 1 after an error, 2 when the\n"
    "command line is wrong.\n";

const char* const kCheckHelp =
    "usage: quorlin-cli check --kind 3|4|5 FILE\n"
    "\n"
    "Runs the check that a download of that kind makes before it sends FILE:\n"
    "3 and 5 (software, font) check the update-file header and its checksum,\n"
    "4 (interface picture) checks for a bitmap with a full 256-colour palette.\n"
    "Prints \"OK\" and, in hexadecimal, the sum the download's verdict expects\n"
    "(3 and 5: the header's checksum; 4: the byte sum of the pixel data from\n"
    "offset 1078, which the download's blocks carry) and exits 0, or prints why\n"
    "the file is refused and exits 1; exits 2 when the command line is wrong.\n";

// Parses args; on --help prints help and sets exitCode 0, on a bad line
// prints the reason and sets kExitUsage. Returns true when the command runs.
bool Parse(const char* command, const Args& args, const std::vector<OptionSpec>& spec, const char* help,
           ParsedArgs& parsed, int& exitCode) {
    if (auto reason = ParseArgs(args, spec, parsed)) {
        exitCode = CommandLineError(command, *reason);
        return false;
    }
    if (parsed.Has("help")) {
        std::fputs(help, stdout);
        exitCode = kExitDone;
        return false;
    }
    return true;
}

int Report(const ConversionOutcome& outcome) {
    for (const DialogMessage& message : outcome.messages) {
        std::FILE* out = message.icon == MessageIcon::Error ? stderr : stdout;
        std::fprintf(out, "%s\n", message.text.c_str());
    }
    return outcome.finished ? kExitDone : kExitFailed;
}

}  // namespace

int RunConvert(const Args& args) {
    static const std::vector<OptionSpec> spec = {{"type", true},   {"version", true}, {"date", true},
                                                 {"target", true}, {"source1", true}, {"source2", true}};
    ParsedArgs parsed;
    int exitCode = 0;
    if (!Parse("convert", args, spec, kConvertHelp, parsed, exitCode)) return exitCode;
    if (!parsed.Positional().empty())
        return CommandLineError("convert", "unexpected argument '" + parsed.Positional().front() + "'");
    if (!parsed.Has("type")) return CommandLineError("convert", "--type is required");
    auto type = ParseNumber(*parsed.Value("type"), 0, kTargetTypeCount - 1);
    if (!type) return CommandLineError("convert", "--type must be 0, 1 or 2, not '" + *parsed.Value("type") + "'");

    ConvertRequest request;
    request.targetType = static_cast<int>(*type);
    request.version = parsed.Value("version").value_or("");
    request.date = parsed.Value("date").value_or("");
    request.targetDir = parsed.Value("target").value_or("");
    request.source1 = parsed.Value("source1").value_or("");
    request.source2 = parsed.Value("source2").value_or("");
    // The dialog's boxes take no more characters than their fields hold.
    if (request.version.size() > kVersionFieldSize) return CommandLineError("convert", "--version holds at most 4 characters");
    if (request.date.size() > kDateFieldSize) return CommandLineError("convert", "--date holds at most 6 characters");
    return Report(RunConversion(request));
}

int RunBatchConvert(const Args& args) {
    static const std::vector<OptionSpec> spec = {{"dat", false}, {"tag", true}};
    ParsedArgs parsed;
    int exitCode = 0;
    if (!Parse("batch-convert", args, spec, kBatchHelp, parsed, exitCode)) return exitCode;
    if (parsed.Positional().size() != 1) return CommandLineError("batch-convert", "give exactly one FOLDER");
    const BatchFileType type = parsed.Has("dat") ? BatchFileType::Dat : BatchFileType::Bin;

    // A folder that is not there would list nothing and "finish": say so instead.
    const std::string& given = parsed.Positional().front();
    struct stat info {};
    int error = 0;
    if (::stat(given.c_str(), &info) != 0)
        error = errno;
    else if (!S_ISDIR(info.st_mode))
        error = ENOTDIR;
    if (error != 0) {
        std::fprintf(stderr, "%s\n", FileErrorText(CauseFromErrno(error), given).c_str());
        return kExitFailed;
    }
    const std::string folder = AddTrailingBackslash(given);
    BatchListing listing = ListBatchFolder(folder, type);
    if (listing.error) {
        std::fprintf(stderr, "%s\n", listing.error->c_str());
        return kExitFailed;
    }
    std::vector<BatchRow>& rows = listing.rows;

    for (const std::string& assignment : parsed.Values("tag")) {
        auto eq = assignment.rfind('=');
        if (eq == std::string::npos) return CommandLineError("batch-convert", "--tag takes NAME=TAG, not '" + assignment + "'");
        const std::string name = assignment.substr(0, eq);
        const std::string tag = assignment.substr(eq + 1);
        if (!IsUpdateFileTag(tag))
            return CommandLineError("batch-convert", "'" + tag + "' is not one of QVA QV2 SYS DTA UDA UDB UDC UDD UDE");
        bool listed = false;
        for (BatchRow& row : rows) {
            if (row.sourceName == name) {
                row.tag = tag;
                listed = true;
            }
        }
        if (!listed)
            return CommandLineError("batch-convert", "'" + name + "' is not a listed " + BatchExtension(type) + " file of " + given);
    }
    return Report(RunBatch(folder, type, rows));
}

int RunCheck(const Args& args) {
    static const std::vector<OptionSpec> spec = {{"kind", true}};
    ParsedArgs parsed;
    int exitCode = 0;
    if (!Parse("check", args, spec, kCheckHelp, parsed, exitCode)) return exitCode;
    if (!parsed.Has("kind")) return CommandLineError("check", "--kind is required");
    auto kind = ParseNumber(*parsed.Value("kind"), 3, 5);
    if (!kind) return CommandLineError("check", "--kind must be 3, 4 or 5, not '" + *parsed.Value("kind") + "'");
    if (parsed.Positional().size() != 1) return CommandLineError("check", "give exactly one FILE");

    try {
        PosixFile file = PosixFile::OpenForReading(parsed.Positional().front());
        // The sum the download's verdict compares (for a picture, that of
        // its pixels), which is the one worth printing.
        const ImageCheck check = CheckDownloadImage(file, *kind);
        if (check.failure) {
            std::fprintf(stderr, "%s\n", check.failure->text.c_str());
            return kExitFailed;
        }
        if (!check.accepted) {
            std::fprintf(stderr, "%s\n", kTextNotUpdateFile);
            return kExitFailed;
        }
        std::printf("OK 0x%08" PRIX32 "\n", check.expectedSum);
        // The result is the whole point of the command: one that did not
        // reach its reader (a full disk behind stdout) is no success.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "quorlin-cli check: cannot write the result: %s\n", std::strerror(errno));
            return kExitFailed;
        }
        return kExitDone;
    } catch (const FileError& error) {  // opening the file
        std::fprintf(stderr, "%s\n", error.what());
        return kExitFailed;
    }
}

}  // namespace quorlin::cli
