#pragma once
// Which file a path names: its device and inode. Two paths name one file when
// these agree, whatever links (hard or symbolic) lead to it.

#include <sys/types.h>

#include <optional>
#include <string>

namespace quorlin {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The file path leads to, following symbolic links; nothing when there is
// none (or it cannot be looked at).
std::optional<FileIdentity> IdentityOf(const std::string& path);

}  // namespace quorlin
