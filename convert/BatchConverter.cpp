#include "convert/BatchConverter.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>
#include <optional>

#include "convert/FileError.h"
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

// Creates an output, refusing to truncate the source it is made from. On
// failure the batch shows the file error text as both text and caption.
std::optional<PosixFile> CreateOutput(const PosixFile& source, const std::string& path, ConversionOutcome& outcome) {
    if (source.IsSameFileAs(path)) {
        outcome.Error(WithPath(kTextTargetIsSource, path));
        return std::nullopt;
    }
    try {
        return PosixFile::CreateForWriting(path);
    } catch (const FileError& error) {
        outcome.FileErrorBox(error.what());
        return std::nullopt;
    }
}

}  // namespace

bool IsUpdateFileTag(const std::string& text) {
    return std::find(kUpdateFileTags.begin(), kUpdateFileTags.end(), text) != kUpdateFileTags.end();
}

const char* BatchExtension(BatchFileType type) { return type == BatchFileType::Bin ? ".bin" : ".dat"; }

const char* BatchOutputFolderName(BatchFileType type) {
    return type == BatchFileType::Bin ? "Bin_Dst" : "Dat_Dst";
}

std::vector<BatchRow> ListBatchFiles(const std::string& folder, BatchFileType type) {
    std::vector<BatchRow> rows;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
    if (!dir) return rows;
    const std::string extension = BatchExtension(type);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (EndsWithIgnoringCase(name, extension)) rows.push_back({name, RomNameFor(name), ""});
    }
    return rows;
}

std::string MakeOutputFolder(const std::string& folder, BatchFileType type) {
    const std::string path = folder + BatchOutputFolderName(type);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) ::mkdir(path.c_str(), 0777);
    return AddTrailingBackslash(path);
}

bool WriteRomFile(PosixFile& source, const std::string& path, ConversionOutcome& outcome) {
    // An empty source would never fill the image.
    if (source.Length() == 0) {
        outcome.Error(WithPath(kTextEmptyRomSource, source.Path()));
        return false;
    }
    std::optional<PosixFile> image = CreateOutput(source, path, outcome);
    if (!image) return false;
    FillRomImage(source, source.Path(), *image);
    image->Close();
    return true;
}

bool WriteUpdateFile(PosixFile& source, const std::string& path, ConversionOutcome& outcome) {
    if (source.Length() > kMaxPayloadLength) {
        outcome.Error(kTextPayloadTooLarge);
        return false;
    }
    std::optional<PosixFile> target = CreateOutput(source, path, outcome);
    if (!target) return false;
    HeaderBytes header{};
    BuildUpdateHeader(header, source);
    target->Write(header.data(), header.size());
    CopyWholeFile(source, *target);
    target->Close();
    return true;
}

ConversionOutcome RunBatch(const std::string& folder, BatchFileType type, const std::vector<BatchRow>& rows) {
    ConversionOutcome outcome;
    const std::string outputFolder = MakeOutputFolder(folder, type);
    for (const BatchRow& row : rows) {
        try {
            PosixFile source = PosixFile::OpenForReading(folder + row.sourceName);
            if (!WriteRomFile(source, outputFolder + row.romName, outcome)) return outcome;
            if (!row.tag.empty() && !WriteUpdateFile(source, outputFolder + row.tag, outcome)) return outcome;
        } catch (const FileError& error) {
            // A source that cannot be opened, or a read or write failing
            // part-way: the batch stops here; earlier outputs stay.
            outcome.FileErrorBox(error.what());
            return outcome;
        }
    }
    outcome.Finished();
    return outcome;
}

}  // namespace quorlin
