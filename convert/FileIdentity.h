#pragma once
// Which file a path names: its volume (device) and its number there (inode,
// or the file index on Windows). Two paths name one file when these agree,
// whatever links (hard or symbolic) lead to it.

#include <cstdint>
#include <optional>
#include <string>

namespace quorlin {

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The file path leads to, following symbolic links; nothing when there is
// none (or it cannot be looked at).
std::optional<FileIdentity> IdentityOf(const std::string& path);

}  // namespace quorlin
