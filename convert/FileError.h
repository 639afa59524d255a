#pragma once
// Why a file operation failed, the text the user is shown for it, and the one
// place where the platform's error numbers are turned into those causes.

#include <optional>
#include <stdexcept>
#include <string>

namespace quorlin {

enum class FileErrorCause {
    None,
    Generic,
    FileNotFound,
    BadPath,
    TooManyOpenFiles,
    AccessDenied,
    InvalidFile,
    RemoveCurrentDir,
    DirectoryFull,
    BadSeek,
    HardIO,
    SharingViolation,
    LockViolation,
    DiskFull,
    EndOfFile,
};

// Maps an errno value to the cause whose text tells the user what to do.
FileErrorCause CauseFromErrno(int errorNumber);
// The same for a Windows system error code (GetLastError()); Windows build
// only (FileErrorWin32.cpp).
FileErrorCause CauseFromWindowsError(unsigned long code);

// The text shown for a failure on path: "%1" of the cause's text replaced by
// the path ("an unnamed file" when it is empty), cut to 254 characters.
std::string FileErrorText(FileErrorCause cause, const std::string& path);

// A file failure as a value, for the layers that do not throw: what the
// converters' FileError carries, and what the transfer files return.
struct FileFailure {
    FileErrorCause cause = FileErrorCause::Generic;
    std::string path;
    int errorNumber = 0;    // the platform's own, 0 when there was none
    std::string text;       // what the user is shown
    std::string operation;  // the call that failed, such as "open()"; empty when none did
};

// Done, or why not. True when the operation was done.
class FileOutcome {
public:
    FileOutcome() = default;
    FileOutcome(FileFailure failure) : m_failure(std::move(failure)) {}
    explicit operator bool() const { return !m_failure.has_value(); }
    // Why it was not done; only for a false outcome.
    const FileFailure& Failure() const { return *m_failure; }

private:
    std::optional<FileFailure> m_failure;
};

// Thrown by the file layer; what() is the text for the user.
class FileError : public std::runtime_error {
public:
    FileError(FileErrorCause cause, std::string path, int errorNumber = 0);
    // A path that names a device, a pipe or a socket where a file on disk is
    // needed: refused as access denied, with a text that says what it is.
    static FileError NotRegularFile(const std::string& path);

    FileErrorCause Cause() const { return cause_; }
    const std::string& Path() const { return path_; }
    // The platform's own error number (0 when the failure had none).
    int ErrorNumber() const { return errorNumber_; }

private:
    FileError(FileErrorCause cause, std::string path, int errorNumber, const std::string& text);

    FileErrorCause cause_;
    std::string path_;
    int errorNumber_;
};

}  // namespace quorlin
