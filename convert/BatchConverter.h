#pragma once
// The Batch convert dialog's work: every ".bin" (or ".dat") file of a folder
// into a ROM image, and into an update file when a tag names one, inside the
// folder's "Bin_Dst" (or "Dat_Dst"). The batch stops at the first failure.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "convert/ConvertMessages.h"
#include "convert/PosixFile.h"

namespace quorlin {

enum class BatchFileType { Bin = 0, Dat = 1 };

// The names an update file may be given, in the order the list shows them.
inline constexpr std::array<const char*, 9> kUpdateFileTags = {"QVA", "QV2", "SYS", "DTA", "UDA",
                                                               "UDB", "UDC", "UDD", "UDE"};
bool IsUpdateFileTag(const std::string& text);

// The extension searched for (".bin", ".dat") and the output subfolder.
const char* BatchExtension(BatchFileType type);
const char* BatchOutputFolderName(BatchFileType type);

// One row of the work list.
struct BatchRow {
    std::string sourceName;  // the file's name with its extension
    std::string romName;     // the name without its last extension, then ".rom"
    std::string tag;         // empty, or the update file's name

    bool operator==(const BatchRow&) const = default;
};

// The rows for every entry of folder whose name ends in the type's extension
// (any case), in the order the file system returns them; entries are not
// filtered further, so a folder named "x.bin" is listed too. folder is used as
// given: it ends in a separator, or is empty for the current folder. A folder
// that cannot be read lists nothing; ListBatchFolder tells why.
std::vector<BatchRow> ListBatchFiles(const std::string& folder, BatchFileType type);

// The rows of ListBatchFiles, or the file error text of a folder that cannot
// be listed (missing, no permission to read it, not a folder, or a failure
// part-way through reading it); rows is then empty.
struct BatchListing {
    std::vector<BatchRow> rows;
    std::optional<std::string> error;
};
BatchListing ListBatchFolder(const std::string& folder, BatchFileType type);

// folder + the output subfolder, created (one level) when nothing of that name
// exists; a failure shows later, when the outputs cannot be created. Returns
// the path with a trailing separator.
std::string MakeOutputFolder(const std::string& folder, BatchFileType type);

// The source repeated to at least 512 KiB into path. On failure the message is
// added to outcome and false returned. path is replaced only once the new
// file is whole, and never when it is the source itself. A read or write
// failure while copying throws FileError, path then left as it was.
bool WriteRomFile(PosixFile& source, const std::string& path, ConversionOutcome& outcome);
// The plain update header and the whole source into path, in the same way.
bool WriteUpdateFile(PosixFile& source, const std::string& path, ConversionOutcome& outcome);

// Runs the Convert button over rows, in their order. A folder that exists but
// cannot be listed stops the batch with its file error text before anything
// is made; no output may replace the source of any row.
ConversionOutcome RunBatch(const std::string& folder, BatchFileType type, const std::vector<BatchRow>& rows);

}  // namespace quorlin
