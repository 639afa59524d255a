#include "convert/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <utility>

#include "convert/FileError.h"
#include "convert/Paths.h"

namespace quorlin {

namespace {

// The temporary file is ".<start of the target's name>.<process>-<number>.part"
// in the target's folder: hidden from listings, never matching a batch's
// "*.bin" or "*.dat", and telling whoever finds one after a crash what it was.
constexpr std::size_t kTemporaryStemLength = 64;
constexpr const char* kTemporarySuffix = ".part";
// O_EXCL makes every attempt safe; a clash needs a process of the same id
// at the same instant, so a few attempts are plenty.
constexpr int kTemporaryNameAttempts = 16;
constexpr mode_t kNewFilePermissions = 0666;  // narrowed by the umask, as for any new file
constexpr mode_t kPermissionBits = 0777;      // what a replaced file hands on

[[noreturn]] void Throw(const std::string& path, int errorNumber) {
    throw FileError(CauseFromErrno(errorNumber), path, errorNumber);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where the new file goes, refusing what opening target for writing would
// refuse. existing receives the replaced file's status when there is one.
std::string Destination(const std::string& target, std::optional<struct stat>& existing) {
    if (NameOf(target).empty()) Throw(target, target.empty() ? ENOENT : EISDIR);
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0) {
        // Nothing there (or a link that leads nowhere, which is replaced);
        // a missing folder shows when the temporary file cannot be made.
        if (errno == ENOENT) return target;
        Throw(target, errno);
    }
    if (S_ISDIR(info.st_mode)) Throw(target, EISDIR);
    // Renaming over a device node or a pipe would remove it, not write it.
    if (!S_ISREG(info.st_mode)) throw FileError::NotRegularFile(target);
    // A write-protected file stays protected: renaming over it would not ask.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) Throw(target, errno);
    existing = info;
    struct stat link {};
    if (::lstat(target.c_str(), &link) != 0) Throw(target, errno);
    if (!S_ISLNK(link.st_mode)) return target;
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(target.c_str(), nullptr), &std::free);
    if (!resolved) Throw(target, errno);
    return resolved.get();
}

int CreateTemporary(const std::string& destination, const std::string& target, std::string& path) {
    const std::string stem = NameOf(destination).substr(0, kTemporaryStemLength);
    const auto unique = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        path = FolderOf(destination) + "." + stem + "." + std::to_string(::getpid()) + "-" +
               std::to_string(unique + attempt) + kTemporarySuffix;
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kNewFilePermissions);
        if (fd >= 0) return fd;
        if (errno != EEXIST) Throw(target, errno);
    }
    Throw(target, EEXIST);
}

// The replacement keeps the old file's permissions and, where this process
// may give it, its owner, as writing into the old file would have. Neither is
// worth failing a conversion for: the result only tells whether both held.
bool HandOnModeAndOwner(int fd, const struct stat& old) {
    return ::fchmod(fd, old.st_mode & kPermissionBits) == 0 && ::fchown(fd, old.st_uid, old.st_gid) == 0;
}

// Makes the rename itself last through a power cut. The new file is complete
// on disk already, so a failure here loses nothing: the old file would come
// back, whole.
void SyncFolder(const std::string& path) {
    const std::string folder = FolderOf(path);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

OutputFile OutputFile::Create(const std::string& target) {
    std::optional<struct stat> existing;
    std::string destination = Destination(target, existing);
    std::string temporary;
    const int fd = CreateTemporary(destination, target, temporary);
    OutputFile output(PosixFile::Adopt(fd, target), target, std::move(destination), std::move(temporary));
    if (existing) HandOnModeAndOwner(fd, *existing);
    return output;
}

OutputFile::OutputFile(PosixFile file, std::string target, std::string destination, std::string temporary)
    : file_(std::move(file)),
      target_(std::move(target)),
      destination_(std::move(destination)),
      temporary_(std::move(temporary)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : file_(std::move(other.file_)),
      target_(std::move(other.target_)),
      destination_(std::move(other.destination_)),
      temporary_(std::exchange(other.temporary_, std::string())) {}

OutputFile::~OutputFile() {
    file_.Discard();
    RemoveTemporary();
}

void OutputFile::Commit() {
    // Synced before the rename: otherwise a power cut could leave the
    // target's name on a file whose bytes never reached the disk.
    file_.Sync();
    file_.Close();
    if (::rename(temporary_.c_str(), destination_.c_str()) != 0) Throw(target_, errno);
    temporary_.clear();
    SyncFolder(destination_);
}

void OutputFile::RemoveTemporary() {
    if (temporary_.empty()) return;
    ::unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace quorlin
