#include "convert/FileError.h"

#include <cerrno>

#include "convert/Refusals.h"

namespace quorlin {

namespace {

constexpr std::size_t kMaxErrorTextLength = 254;

const char* TemplateFor(FileErrorCause cause) {
    switch (cause) {
    case FileErrorCause::None: return "No error occurred.";
    case FileErrorCause::Generic: return "An unknown error occurred while accessing %1.";
    case FileErrorCause::FileNotFound: return "%1 was not found.";
    case FileErrorCause::BadPath: return "%1 contains an invalid path.";
    case FileErrorCause::TooManyOpenFiles:
        return "%1 could not be opened because there are too many open files.";
    case FileErrorCause::AccessDenied: return "Access to %1 was denied.";
    case FileErrorCause::InvalidFile: return "An invalid file handle was associated with %1.";
    case FileErrorCause::RemoveCurrentDir:
        return "%1 could not be removed because it is the current directory.";
    case FileErrorCause::DirectoryFull:
        return "%1 could not be created because the directory is full.";
    case FileErrorCause::BadSeek: return "Seek failed on %1";
    case FileErrorCause::HardIO: return "A hardware I/O error was reported while accessing %1.";
    case FileErrorCause::SharingViolation:
        return "A sharing violation occurred while accessing %1.";
    case FileErrorCause::LockViolation: return "A locking violation occurred while accessing %1.";
    case FileErrorCause::DiskFull: return "Disk full while accessing %1.";
    case FileErrorCause::EndOfFile: return "An attempt was made to access %1 past its end.";
    }
    return "An unknown error occurred while accessing %1.";
}

std::string WithName(const char* templateText, const std::string& path) {
    std::string text = templateText;
    const std::string name = path.empty() ? "an unnamed file" : path;
    if (auto at = text.find("%1"); at != std::string::npos) text.replace(at, 2, name);
    if (text.size() > kMaxErrorTextLength) {
        // Cut on a character boundary so that a long UTF-8 path is not left
        // with half a character at the end.
        std::size_t cut = kMaxErrorTextLength;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
    }
    return text;
}

}  // namespace

FileErrorCause CauseFromErrno(int errorNumber) {
    switch (errorNumber) {
    case 0: return FileErrorCause::None;
    case ENOENT: return FileErrorCause::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL: return FileErrorCause::BadPath;
    case EMFILE:
    case ENFILE: return FileErrorCause::TooManyOpenFiles;
    // A folder opened as a file is refused as access denied, as the
    // converters' users know it from other systems.
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return FileErrorCause::AccessDenied;
    case EBADF: return FileErrorCause::InvalidFile;
    case EMLINK: return FileErrorCause::DirectoryFull;
    case ESPIPE:
    case EOVERFLOW: return FileErrorCause::BadSeek;
    case EIO:
    case ENXIO:
    case ENODEV: return FileErrorCause::HardIO;
    case ETXTBSY:
    case EBUSY: return FileErrorCause::SharingViolation;
    case ENOLCK:
    case EDEADLK: return FileErrorCause::LockViolation;
    case ENOSPC:
#ifdef EDQUOT  // no disk quotas in the Windows C runtime
    case EDQUOT:
#endif
    case EFBIG: return FileErrorCause::DiskFull;
    default: return FileErrorCause::Generic;
    }
}

std::string FileErrorText(FileErrorCause cause, const std::string& path) { return WithName(TemplateFor(cause), path); }

FileError::FileError(FileErrorCause cause, std::string path, int errorNumber)
    : FileError(cause, std::move(path), errorNumber, std::string()) {}

FileError::FileError(FileErrorCause cause, std::string path, int errorNumber, const std::string& text)
    : std::runtime_error(text.empty() ? FileErrorText(cause, path) : text),
      cause_(cause),
      path_(std::move(path)),
      errorNumber_(errorNumber) {}

FileError FileError::NotRegularFile(const std::string& path) {
    return FileError(FileErrorCause::AccessDenied, path, 0, WithName(kTextNotRegularFile, path));
}

}  // namespace quorlin
