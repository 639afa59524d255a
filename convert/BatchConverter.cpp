#include "convert/BatchConverter.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "convert/FileError.h"
#include "convert/FileIdentity.h"
#include "convert/NativeFile.h"
#include "convert/OutputFile.h"
#include "convert/Paths.h"
#include "convert/Refusals.h"
#include "convert/RomImage.h"
#include "convert/UpdateFile.h"

namespace quorlin {

namespace {

bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
    if (text.size() < ending.size()) return false;
    return std::equal(ending.begin(), ending.end(), text.end() - static_cast<std::ptrdiff_t>(ending.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

std::string RomNameFor(const std::string& sourceName) {
    return sourceName.substr(0, sourceName.rfind('.')) + ".rom";
}

// The folder as the file error texts name it: the current folder is ".".
std::string FolderForMessages(const std::string& folder) { return folder.empty() ? "." : folder; }

// Creates an output that will replace path, refusing one that is any of the
// files read by the batch. On failure the batch shows the file error text as
// both text and caption.
std::optional<OutputFile> CreateOutput(const std::string& path, const std::vector<FileIdentity>& sources,
                                       ConversionOutcome& outcome) {
    const std::optional<FileIdentity> existing = IdentityOf(path);
    if (existing && std::find(sources.begin(), sources.end(), *existing) != sources.end()) {
        outcome.Error(WithPath(kTextTargetIsSource, path));
        return std::nullopt;
    }
    try {
        return OutputFile::Create(path);
    } catch (const FileError& error) {
        outcome.FileErrorBox(error.what());
        return std::nullopt;
    }
}

bool WriteRom(PosixFile& source, const std::string& path, const std::vector<FileIdentity>& sources,
              ConversionOutcome& outcome) {
    // An empty source would never fill the image.
    if (source.Length() == 0) {
        outcome.Error(WithPath(kTextEmptyRomSource, source.Path()));
        return false;
    }
    std::optional<OutputFile> image = CreateOutput(path, sources, outcome);
    if (!image) return false;
    FillRomImage(source, source.Path(), image->File());
    image->Commit();
    return true;
}

bool WriteUpdate(PosixFile& source, const std::string& path, const std::vector<FileIdentity>& sources,
                 ConversionOutcome& outcome) {
    if (source.Length() > kMaxPayloadLength) {
        outcome.Error(kTextPayloadTooLarge);
        return false;
    }
    std::optional<OutputFile> target = CreateOutput(path, sources, outcome);
    if (!target) return false;
    HeaderBytes header{};
    BuildUpdateHeader(header, source);
    target->File().Write(header.data(), header.size());
    CopyWholeFile(source, target->File());
    target->Commit();
    return true;
}

// The files every row reads, so that no row's output replaces a later row's
// source (through a link in the output folder). A source that cannot be
// looked at now fails when its row opens it.
std::vector<FileIdentity> SourcesOf(const std::string& folder, const std::vector<BatchRow>& rows) {
    std::vector<FileIdentity> sources;
    for (const BatchRow& row : rows)
        if (auto identity = IdentityOf(folder + row.sourceName)) sources.push_back(*identity);
    return sources;
}

// text with "%1", "%2" and "%3" replaced: two sources and the output they share.
std::string CollisionText(const char* text, const std::string& first, const std::string& second,
                          const std::string& output) {
    std::string result = text;
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"%1", first}, {"%2", second}, {"%3", output}})
        if (const size_t at = result.find(key); at != std::string::npos) result.replace(at, key.size(), value);
    return result;
}

// Two rows whose ROM images have one name (a.bin, a.BIN and a.Bin all make
// a.rom): the later would silently replace the earlier. Found before anything
// is written; the first pair found is named.
std::optional<std::string> SharedRomName(const std::vector<BatchRow>& rows, BatchFileType type) {
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t j = i + 1; j < rows.size(); ++j)
            if (rows[i].romName == rows[j].romName)
                return CollisionText(kTextSameOutputTwice, rows[i].sourceName, rows[j].sourceName,
                                     ComposePath(BatchOutputFolderName(type), rows[i].romName));
    return std::nullopt;
}

// An image made earlier in this run: a folder that does not tell upper from
// lower case (a memory card's) makes A.rom and a.rom one file.
struct MadeImage {
    FileIdentity file;
    std::string sourceName;
};

}  // namespace

bool IsUpdateFileTag(const std::string& text) {
    return std::find(kUpdateFileTags.begin(), kUpdateFileTags.end(), text) != kUpdateFileTags.end();
}

const char* BatchExtension(BatchFileType type) { return type == BatchFileType::Bin ? ".bin" : ".dat"; }

const char* BatchOutputFolderName(BatchFileType type) {
    return type == BatchFileType::Bin ? "Bin_Dst" : "Dat_Dst";
}

std::vector<BatchRow> ListBatchFiles(const std::string& folder, BatchFileType type) {
    return ListBatchFolder(folder, type).rows;
}

BatchListing ListBatchFolder(const std::string& folder, BatchFileType type) {
    BatchListing listing;
    std::vector<std::string> names;
    if (const FileErrorCause cause = native::ListFolder(folder, names); cause != FileErrorCause::None) {
        listing.error = FileErrorText(cause, FolderForMessages(folder));
        return listing;
    }
    const std::string extension = BatchExtension(type);
    for (const std::string& name : names)
        if (EndsWithIgnoringCase(name, extension)) listing.rows.push_back({name, RomNameFor(name), ""});
    return listing;
}

std::string MakeOutputFolder(const std::string& folder, BatchFileType type) {
    const std::string path = folder + BatchOutputFolderName(type);
    native::MakeFolderIfMissing(path);
    return AddTrailingBackslash(path);
}

bool WriteRomFile(PosixFile& source, const std::string& path, ConversionOutcome& outcome) {
    return WriteRom(source, path, {source.Identity()}, outcome);
}

bool WriteUpdateFile(PosixFile& source, const std::string& path, ConversionOutcome& outcome) {
    return WriteUpdate(source, path, {source.Identity()}, outcome);
}

ConversionOutcome RunBatch(const std::string& folder, BatchFileType type, const std::vector<BatchRow>& rows) {
    ConversionOutcome outcome;
    // A folder that is there but cannot be listed would otherwise "finish"
    // with nothing done. A missing one keeps its rule: the outputs fail.
    std::vector<std::string> names;
    if (const FileErrorCause cause = native::ListFolder(folder, names);
        cause != FileErrorCause::None && cause != FileErrorCause::FileNotFound) {
        outcome.FileErrorBox(FileErrorText(cause, FolderForMessages(folder)));
        return outcome;
    }
    if (const auto shared = SharedRomName(rows, type)) {
        outcome.Error(*shared);
        return outcome;
    }
    const std::vector<FileIdentity> sources = SourcesOf(folder, rows);
    const std::string outputFolder = MakeOutputFolder(folder, type);
    std::vector<MadeImage> made;
    for (const BatchRow& row : rows) {
        try {
            PosixFile source = PosixFile::OpenForReading(folder + row.sourceName);
            std::vector<FileIdentity> protectedFiles = sources;
            protectedFiles.push_back(source.Identity());
            const std::string romPath = outputFolder + row.romName;
            if (const auto existing = IdentityOf(romPath)) {
                const auto earlier = std::find_if(made.begin(), made.end(),
                                                  [&](const MadeImage& image) { return image.file == *existing; });
                if (earlier != made.end()) {
                    outcome.Error(CollisionText(kTextOutputMadeTwice, earlier->sourceName, row.sourceName, romPath));
                    return outcome;
                }
            }
            if (!WriteRom(source, romPath, protectedFiles, outcome)) return outcome;
            if (const auto identity = IdentityOf(romPath)) made.push_back({*identity, row.sourceName});
            if (!row.tag.empty() && !WriteUpdate(source, outputFolder + row.tag, protectedFiles, outcome))
                return outcome;
        } catch (const FileError& error) {
            // A source that cannot be opened, or a read or write failing
            // part-way: the batch stops here. The output being written is
            // thrown away (its old file stays); earlier outputs stay.
            outcome.FileErrorBox(error.what());
            return outcome;
        }
    }
    outcome.Finished();
    return outcome;
}

}  // namespace quorlin
