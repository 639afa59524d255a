#include "app/NcFile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <string>
#include <vector>

namespace quorlin {

namespace {

constexpr size_t kReadChunk = 1024 * 1024;

FileResult Failed(int error) {
    FileResult result;
    result.systemError = error;
    switch (error) {
    case ENOENT:
    case ENOTDIR: result.failure = NcFileFailure::NotFound; break;
    case EACCES:
    case EPERM:
    case EROFS: result.failure = NcFileFailure::AccessDenied; break;
    case ENOSPC:
    case EDQUOT: result.failure = NcFileFailure::DiskFull; break;
    case EFBIG: result.failure = NcFileFailure::TooLarge; break;
    default: result.failure = NcFileFailure::Other; break;
    }
    return result;
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now, reporting the result (a late write error shows here).
    int Close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd);
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// The file that a save replaces: a link's target, so that the link stays.
std::string ResolveTarget(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) return resolved;
    return path;  // a new file, or a link leading nowhere: write the name as given
}

}  // namespace

FileResult ReadNcFile(const QString& path, qint64 maxBytes, const NcPieceTaker& take) {
    const std::string name = QFile::encodeName(path).toStdString();
    Descriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) return Failed(errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return Failed(errno);
    if (S_ISDIR(info.st_mode)) return Failed(EISDIR);
    if (!S_ISREG(info.st_mode)) return Failed(ENODEV);  // a device or pipe could block or never end
    if (info.st_size > maxBytes) return {NcFileFailure::TooLarge, 0};

    // Read to the end rather than to the size seen: the file may change meanwhile.
    std::vector<char> chunk(kReadChunk);
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return Failed(errno);
        }
        if (got == 0) break;
        total += got;
        if (total > maxBytes) return {NcFileFailure::TooLarge, 0};
        if (std::memchr(chunk.data(), '\0', static_cast<size_t>(got))) return {NcFileFailure::Binary, 0};
        if (!take(chunk.data(), got, info.st_size)) break;
    }
    return {};
}

FileResult LoadNcFile(const QString& path, QByteArray& bytes, qint64 maxBytes) {
    QByteArray content;
    const FileResult result = ReadNcFile(path, maxBytes, [&content](const char* data, qsizetype size, qint64 fileSize) {
        if (content.isEmpty()) content.reserve(static_cast<qsizetype>(fileSize));
        content.append(data, size);
        return true;
    });
    if (result.ok()) bytes = std::move(content);
    return result;
}

FileResult SaveNcFile(const QString& path, const QByteArray& bytes) {
    const std::string target = ResolveTarget(QFile::encodeName(path).toStdString());
    std::string temporary = target + ".XXXXXX";
    Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) return Failed(errno);

    auto abandon = [&temporary](int error) {
        ::unlink(temporary.c_str());
        return Failed(error);
    };
    struct stat existing {};
    mode_t mode;
    if (::stat(target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(file.get(), mode) != 0) return abandon(errno);
    if (!WriteAll(file.get(), bytes.constData(), static_cast<size_t>(bytes.size()))) return abandon(errno);
    if (::fsync(file.get()) != 0) return abandon(errno);
    if (file.Close() != 0) return abandon(errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0) return abandon(errno);
    return {};
}

}  // namespace quorlin
