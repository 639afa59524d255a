// The kind of a converter's source path and the update file's name: the kind
// must be the model's (empty: none; no '.' at all: no extension; otherwise the
// path must end in ".dat", ".bin" or ".bmp" in any case), and the name given
// for any target type and any content flags, or for the flags of two random
// sources, must be the model's.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "convert/Converter.h"
#include "convert/SourceKind.h"
#include "tests/fuzz/FuzzSupport.h"

namespace quorlin::fuzz {
namespace {

constexpr uint8_t kDat = 1, kBin = 2, kBmp = 4, kNoExt = 8;
constexpr int kTypeCount = 3;  // "66G", "57Q", "P70,P80,P90"
constexpr size_t kMaxPath = 300;

bool EndsWithFolded(const std::string& path, const char* ending) {
    const std::string tail(ending);
    if (path.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char c = path[path.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

uint8_t ModelKind(const std::string& path) {
    if (path.empty()) return 0;
    if (path.find('.') == std::string::npos) return kNoExt;
    if (EndsWithFolded(path, ".dat")) return kDat;
    if (EndsWithFolded(path, ".bin")) return kBin;
    if (EndsWithFolded(path, ".bmp")) return kBmp;
    return 0;
}

// The name by target type and content flags: ".dat" and ".bin" sources take
// the type's own name; types 0 and 1 always write "SYS"; type 2 names a
// picture alone "USERPIC", a font alone "HZK16", and nothing else.
std::string ModelName(int type, uint8_t flags) {
    static const char* const kOwnNames[kTypeCount] = {"SYS", "SYS", "QZSYS"};
    if (type < 0 || type >= kTypeCount) return "";
    if (flags == kDat || flags == kBin || flags == (kDat | kBin)) return kOwnNames[type];
    if (type != 2) return "SYS";
    if (flags == kBmp) return "USERPIC";
    if (flags == kNoExt) return "HZK16";
    return "";
}

}  // namespace
}  // namespace quorlin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorlin::fuzz;
    FuzzedDataProvider in(data, size);
    const int type = in.ConsumeIntegralInRange<int>(-1, kTypeCount);
    const uint8_t anyFlags = in.ConsumeIntegral<uint8_t>();
    const std::string first = in.ConsumeRandomLengthString(kMaxPath);
    const std::string second = in.ConsumeRemainingBytesAsString();

    const uint8_t kind1 = quorlin::FlagOf(quorlin::KindOfPath(first));
    const uint8_t kind2 = quorlin::FlagOf(quorlin::KindOfPath(second));
    FUZZ_CHECK(kind1 == ModelKind(first), "path " + Escaped(first) + " kind " + std::to_string(kind1));
    FUZZ_CHECK(kind2 == ModelKind(second), "path " + Escaped(second) + " kind " + std::to_string(kind2));

    const uint8_t sourcesFlags = static_cast<uint8_t>(kind1 | kind2);
    for (uint8_t flags : {sourcesFlags, anyFlags}) {
        const std::string name = quorlin::TargetFileName(type, flags);
        FUZZ_CHECK(name == ModelName(type, flags),
                   "type " + std::to_string(type) + " flags " + std::to_string(flags) + " named " + name);
    }
    return 0;
}
