// The batch converter's work list on a real folder holding files and folders
// with odd names (any byte but '/' and NUL, any case, several dots, names
// that are nothing but an extension): the list must hold exactly the entries
// whose names end in ".bin" (or ".dat") in any case, each once, with the ROM
// name made from the name without its last extension, and no tag.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "convert/BatchConverter.h"
#include "tests/fuzz/FuzzSupport.h"

namespace quorlin::fuzz {
namespace {

constexpr size_t kMaxEntries = 12;
constexpr size_t kMaxNameLength = 40;
constexpr size_t kNameMax = 255;  // longest name a Linux file system takes

std::string Folded(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A name of the input's bytes, with an extension from a small set pasted on
// now and then so that matches are common.
std::string MakeName(FuzzedDataProvider& in) {
    static const char* const kEndings[] = {"", ".bin", ".BIN", ".Dat", ".dat", ".bin.dat", ".rom", ".", "bin"};
    std::string name = in.ConsumeRandomLengthString(kMaxNameLength);
    name += kEndings[in.ConsumeIntegralInRange<size_t>(0, std::size(kEndings) - 1)];
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\0', '~');
    if (name.size() > kNameMax) name.resize(kNameMax);
    return name;
}

bool Usable(const std::string& name) { return !name.empty() && name != "." && name != ".."; }

std::vector<quorlin::BatchRow> ModelRows(const std::set<std::string>& names, quorlin::BatchFileType type) {
    const std::string ending = type == quorlin::BatchFileType::Bin ? ".bin" : ".dat";
    std::vector<quorlin::BatchRow> rows;
    for (const std::string& name : names) {
        const std::string folded = Folded(name);
        if (folded.size() < ending.size() || folded.compare(folded.size() - ending.size(), ending.size(), ending) != 0)
            continue;
        // The extension found is the last one, so the name is cut at its last dot.
        rows.push_back({name, name.substr(0, name.size() - ending.size()) + ".rom", ""});
    }
    return rows;
}

bool RowLess(const quorlin::BatchRow& a, const quorlin::BatchRow& b) { return a.sourceName < b.sourceName; }

std::string Describe(const std::vector<quorlin::BatchRow>& rows) {
    return Listed(rows, [](const auto& row) {
        return "[" + Escaped(row.sourceName) + " -> " + Escaped(row.romName) + "] ";
    });
}

}  // namespace
}  // namespace quorlin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorlin::fuzz;
    FuzzedDataProvider in(data, size);
    const auto type = in.ConsumeBool() ? quorlin::BatchFileType::Dat : quorlin::BatchFileType::Bin;
    const std::filesystem::path folder = ScratchFolder::Path() / "batch";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);

    std::set<std::string> names;
    const size_t entries = in.ConsumeIntegralInRange<size_t>(0, kMaxEntries);
    for (size_t i = 0; i < entries && in.remaining_bytes() > 0; ++i) {
        const bool asFolder = in.ConsumeIntegralInRange<int>(0, 3) == 3;
        const std::string name = MakeName(in);
        if (!Usable(name) || names.count(name)) continue;
        const std::string path = (folder / name).string();
        if (asFolder) {
            FUZZ_CHECK(::mkdir(path.c_str(), 0700) == 0, "mkdir " + Escaped(name));
        } else {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            FUZZ_CHECK(fd >= 0, "create " + Escaped(name));
            ::close(fd);
        }
        names.insert(name);
    }

    std::vector<quorlin::BatchRow> rows = quorlin::ListBatchFiles(folder.string() + "/", type);
    std::vector<quorlin::BatchRow> expected = ModelRows(names, type);
    std::sort(rows.begin(), rows.end(), RowLess);
    std::sort(expected.begin(), expected.end(), RowLess);
    FUZZ_CHECK(rows == expected, "listed " + Describe(rows) + "\n   model " + Describe(expected));
    return 0;
}
