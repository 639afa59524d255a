// Windows system error codes onto the file error causes (FileError.h).
#include <windows.h>

#include "convert/FileError.h"

namespace quorlin {

FileErrorCause CauseFromWindowsError(unsigned long code) {
    switch (code) {
    case ERROR_SUCCESS: return FileErrorCause::None;
    case ERROR_FILE_NOT_FOUND: return FileErrorCause::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_DIRECTORY:
    case ERROR_FILENAME_EXCED_RANGE: return FileErrorCause::BadPath;
    case ERROR_TOO_MANY_OPEN_FILES: return FileErrorCause::TooManyOpenFiles;
    // A folder opened as a file, a write-protected file or medium: access
    // denied, as on every other system.
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return FileErrorCause::AccessDenied;
    case ERROR_CANNOT_MAKE: return FileErrorCause::DirectoryFull;
    case ERROR_INVALID_HANDLE: return FileErrorCause::InvalidFile;
    case ERROR_CURRENT_DIRECTORY: return FileErrorCause::RemoveCurrentDir;
    case ERROR_NEGATIVE_SEEK:
    case ERROR_SEEK_ON_DEVICE: return FileErrorCause::BadSeek;
    case ERROR_SEEK:
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
    case ERROR_IO_DEVICE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_NETNAME_DELETED: return FileErrorCause::HardIO;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
    case ERROR_USER_MAPPED_FILE: return FileErrorCause::SharingViolation;
    case ERROR_LOCK_VIOLATION:
    case ERROR_LOCK_FAILED:
    case ERROR_DRIVE_LOCKED: return FileErrorCause::LockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE: return FileErrorCause::DiskFull;
    case ERROR_HANDLE_EOF: return FileErrorCause::EndOfFile;
    default: return FileErrorCause::Generic;
    }
}

}  // namespace quorlin
