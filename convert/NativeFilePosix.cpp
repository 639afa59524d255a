// The converters' files on POSIX systems (see NativeFile.h).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>

#include "convert/NativeFile.h"
#include "convert/Paths.h"

namespace quorlin {

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

namespace native {

namespace {

// O_EXCL makes every attempt safe; a clash needs a process of the same id
// at the same instant, so a few attempts are plenty.
constexpr int kTemporaryNameAttempts = 16;
constexpr mode_t kNewFilePermissions = 0666;  // narrowed by the umask, as for any new file
constexpr mode_t kNewFolderPermissions = 0777;
constexpr mode_t kPermissionBits = 0777;      // what a replaced file hands on

[[noreturn]] void Throw(const std::string& path, int errorNumber) {
    throw FileError(CauseFromErrno(errorNumber), path, errorNumber);
}

int Descriptor(FileHandle file) { return static_cast<int>(file); }

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

FileHandle OpenForReading(const std::string& path) {
    // Looked at before opening: opening some devices acts on them.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
        throw FileError::NotRegularFile(path);
    // Non-blocking, so that a pipe put in the file's place since cannot hold
    // the open; the descriptor is looked at again below.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) Throw(path, errno);
    int error = 0;
    bool regular = false;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;  // open() lets a folder be read; its bytes are no file's
    else
        regular = S_ISREG(info.st_mode);
    if (error == 0 && regular) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
    }
    if (error != 0 || !regular) {
        ::close(fd);
        if (error != 0) Throw(path, error);
        throw FileError::NotRegularFile(path);
    }
    return fd;
}

FileHandle CreateForWriting(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFilePermissions);
    if (fd < 0) Throw(path, errno);
    return fd;
}

std::size_t ReadSome(FileHandle file, void* into, std::size_t count, const std::string& pathForMessages) {
    for (;;) {
        ssize_t n = ::read(Descriptor(file), into, count);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) Throw(pathForMessages, errno);
    }
}

std::size_t WriteSome(FileHandle file, const void* data, std::size_t count, const std::string& pathForMessages) {
    for (;;) {
        ssize_t n = ::write(Descriptor(file), data, count);
        if (n > 0) return static_cast<std::size_t>(n);
        if (n == 0) Throw(pathForMessages, EIO);
        if (errno != EINTR) Throw(pathForMessages, errno);
    }
}

void SeekTo(FileHandle file, std::uint64_t offset, const std::string& pathForMessages) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) Throw(pathForMessages, EOVERFLOW);
    if (::lseek(Descriptor(file), static_cast<off_t>(offset), SEEK_SET) < 0) Throw(pathForMessages, errno);
}

std::uint64_t LengthOf(FileHandle file, const std::string& pathForMessages) {
    struct stat info {};
    if (::fstat(Descriptor(file), &info) != 0) Throw(pathForMessages, errno);
    return static_cast<std::uint64_t>(info.st_size);
}

void SyncToDevice(FileHandle file, const std::string& pathForMessages) {
    while (::fsync(Descriptor(file)) != 0)
        if (errno != EINTR) Throw(pathForMessages, errno);
}

void Close(FileHandle file, const std::string& pathForMessages) {
    if (::close(Descriptor(file)) != 0) Throw(pathForMessages, errno);
}

void CloseQuietly(FileHandle file) noexcept { ::close(Descriptor(file)); }

FileIdentity IdentityOf(FileHandle file) noexcept {
    struct stat info {};
    if (::fstat(Descriptor(file), &info) != 0) return {};
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

Replacement CreateReplacement(const std::string& target) {
    std::optional<struct stat> existing;
    Replacement result;
    result.destination = Destination(target, existing);
    const auto unique = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        result.temporary = TemporaryPathFor(result.destination, static_cast<std::uint64_t>(::getpid()),
                                            static_cast<std::uint64_t>(unique + attempt));
        const int fd = ::open(result.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                              kNewFilePermissions);
        if (fd >= 0) {
            if (existing) HandOnModeAndOwner(fd, *existing);
            result.file = fd;
            return result;
        }
        if (errno != EEXIST) Throw(target, errno);
    }
    Throw(target, EEXIST);
}

void Replace(const std::string& temporary, const std::string& destination, const std::string& target) {
    if (::rename(temporary.c_str(), destination.c_str()) != 0) Throw(target, errno);
    SyncFolder(destination);
}

void RemoveQuietly(const std::string& path) noexcept { ::unlink(path.c_str()); }

FileErrorCause ListFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
    if (!dir) return CauseFromErrno(errno);
    for (;;) {
        errno = 0;  // readdir tells the end from a failure only by errno
        const dirent* entry = ::readdir(dir.get());
        if (!entry) break;
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    if (errno != 0) {
        names.clear();
        return CauseFromErrno(errno);
    }
    return FileErrorCause::None;
}

void MakeFolderIfMissing(const std::string& path) noexcept {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) ::mkdir(path.c_str(), kNewFolderPermissions);
}

}  // namespace native
}  // namespace quorlin
