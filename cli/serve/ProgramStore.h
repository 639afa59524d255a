#pragma once
// Putting a received program under its name for good. The program was
// received into a file of its own in the same folder; it takes its name by
// a rename, after its bytes are on the disk, so that a cut line or a power
// failure never leaves half a program under the real name. A program that
// had the name before is kept as a backup (BackupName), never overwritten.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace quorlin::cli {

struct StoredProgram {
    std::string path;
    uint64_t bytes = 0;
    std::string backup;  // where the older program of the name went; empty when there was none
};

// Stores the program in `received` as folder/name; why, when it could not
// (the program then stays in `received`).
std::optional<std::string> StoreProgram(const std::string& received, const std::string& folder,
                                        const std::string& name, std::time_t now, StoredProgram& stored);

}  // namespace quorlin::cli
