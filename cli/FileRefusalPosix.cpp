#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "cli/FileRefusal.h"

namespace quorlin::cli {

std::optional<std::string> RefuseFile(const std::string& path, FileRole role) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (role == FileRole::Target && errno == ENOENT) return std::nullopt;
        return path + ": " + std::strerror(errno);
    }
    if (S_ISREG(info.st_mode)) return std::nullopt;
    const char* what = S_ISDIR(info.st_mode)                               ? "a folder"
                       : S_ISFIFO(info.st_mode)                            ? "a named pipe"
                       : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                                                                            : "not a regular file";
    return path + " is " + what + ", not a regular file";
}

}  // namespace quorlin::cli
