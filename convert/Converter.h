#pragma once
// The Convert dialog's work: one or two sources into the update file of a
// target type, and for type 0 also the ROM image "66G.dat".

#include <cstdint>
#include <string>

#include "convert/ConvertMessages.h"

namespace quorlin {

struct TargetTypeInfo {
    const char* listText;        // the row of the target type list
    const char* updateFileName;  // name of the update file for .dat/.bin sources
    std::uint64_t payloadStart;  // bytes of the source left out of the payload
    bool writesRomImage;
    // Both sources, ".dat" first, in the payload, and pictures and fonts named
    // by their kind; otherwise the payload is one source and the name is fixed.
    bool joinsSources;
};

inline constexpr TargetTypeInfo kTargetTypes[] = {
    {"66G", "SYS", 0, true, false},
    {"57Q", "SYS", 64 * 1024, false, false},
    {"P70,P80,P90", "QZSYS", 0, false, true},
};
inline constexpr int kTargetTypeCount = static_cast<int>(std::size(kTargetTypes));
inline constexpr const char* kRomImageName = "66G.dat";

// The texts of the dialog's boxes and its list selection.
struct ConvertRequest {
    int targetType = 0;  // 0 to kTargetTypeCount - 1
    std::string version;
    std::string date;
    std::string targetDir;
    std::string source1;
    std::string source2;
};

// The update file's name for a target type and the content flags of its
// payload; empty when the combination has no name (its creation then fails).
std::string TargetFileName(int targetType, std::uint8_t contentFlags);

// Runs the Convert button. Throws std::invalid_argument for a target type
// outside the list; everything else ends in the returned messages.
ConversionOutcome RunConversion(const ConvertRequest& request);

}  // namespace quorlin
