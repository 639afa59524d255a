#include "cli/serve/ProgramStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "transfer/ServeSettings.h"

namespace quorlin::cli {

namespace {

std::string SystemText(const std::string& what) { return what + ": " + std::strerror(errno); }

// fsync of a file or folder; why, when it failed.
std::optional<std::string> SyncPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return SystemText("cannot open " + path);
    const bool synced = ::fsync(fd) == 0;
    const std::string why = synced ? std::string() : SystemText("cannot write " + path + " to the disk");
    ::close(fd);
    if (!synced) return why;
    return std::nullopt;
}

// Keeps the program at target under a backup name beside it. A hard link
// keeps target in place until the new program replaces it in one rename;
// where the file system has no links (FAT), the old program is renamed.
std::optional<std::string> KeepBackup(const std::string& folder, const std::string& name, const std::string& target,
                                      std::time_t now, std::string& backup) {
    for (int n = 1; n < 100; ++n) {
        backup = folder + "/" + BackupName(name, now, n);
        if (::link(target.c_str(), backup.c_str()) == 0) return std::nullopt;
        if (errno == EEXIST) continue;
        struct stat seen;
        if (::lstat(backup.c_str(), &seen) == 0) continue;
        if (::rename(target.c_str(), backup.c_str()) == 0) return std::nullopt;
        return SystemText("cannot keep " + target + " as " + backup);
    }
    return "cannot keep " + target + ": 99 backups of it from this second exist";
}

}  // namespace

std::optional<std::string> StoreProgram(const std::string& received, const std::string& folder,
                                        const std::string& name, std::time_t now, StoredProgram& stored) {
    if (auto why = SyncPath(received, O_RDONLY)) return why;
    const std::string target = folder + "/" + name;
    std::string backup;
    struct stat existing;
    if (::lstat(target.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) return target + " exists and is not a regular file";
        if (auto why = KeepBackup(folder, name, target, now, backup)) return why;
    }
    if (::rename(received.c_str(), target.c_str()) != 0) return SystemText("cannot rename " + received + " to " + target);
    // The rename itself is on the disk only once the folder is. The program
    // is under its name whether or not that sync succeeds (some file systems
    // refuse fsync on a folder), so a failure here is not a failed store.
    (void)SyncPath(folder, O_RDONLY | O_DIRECTORY);
    struct stat written;
    stored = {target, ::stat(target.c_str(), &written) == 0 ? static_cast<uint64_t>(written.st_size) : 0, backup};
    return std::nullopt;
}

}  // namespace quorlin::cli
