// The converters' files on Windows (see NativeFile.h). Paths are UTF-8 and
// reach the system through the wide calls.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>

#include "convert/NativeFile.h"
#include "convert/Paths.h"
#include "convert/Win32Text.h"

namespace quorlin {

namespace {

// A handle that closes itself, for files looked at and let go.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() {
        if (Valid()) ::CloseHandle(handle_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    HANDLE Release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

private:
    HANDLE handle_;
};

// Other programs may read and write a file the converters read, as with any
// ordinary open; a file being written may be read by others, not written.
constexpr DWORD kShareForReading = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kShareForWriting = FILE_SHARE_READ;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The most one ReadFile or WriteFile is asked for; the callers loop.
constexpr DWORD kMaxTransferPerCall = 1u << 30;
// CREATE_NEW makes every attempt safe; a clash needs a process of the same
// id at the same instant, so a few attempts are plenty.
constexpr int kTemporaryNameAttempts = 16;

[[noreturn]] void Throw(const std::string& path, DWORD code) {
    throw FileError(CauseFromWindowsError(code), path, static_cast<int>(code));
}

[[noreturn]] void ThrowLastError(const std::string& path) { Throw(path, ::GetLastError()); }

HANDLE Native(native::FileHandle file) { return reinterpret_cast<HANDLE>(file); }

native::FileHandle Portable(HANDLE handle) { return reinterpret_cast<native::FileHandle>(handle); }

std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// Opens path to look at it (no reading or writing), following links; a
// folder is opened too.
HANDLE OpenToLookAt(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::string NameOf(const std::string& path) {
    const auto end = path.find_last_of(kFolderEnds);
    return end == std::string::npos ? path : path.substr(end + 1);
}

// The path a link leads to, as the system names it.
std::optional<std::wstring> FinalPath(HANDLE handle) {
    const DWORD length = ::GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED);
    if (length == 0) return std::nullopt;
    std::wstring path(length, L'\0');
    const DWORD written = ::GetFinalPathNameByHandleW(handle, path.data(), length, FILE_NAME_NORMALIZED);
    if (written == 0 || written >= length) return std::nullopt;
    path.resize(written);
    return path;
}

// Where the new file goes, refusing what opening target for writing would
// refuse: a folder, a device, a read-only file, one that no one may write
// now (held by another program that shares no writing).
std::string Destination(const std::string& target) {
    if (NameOf(target).empty()) Throw(target, target.empty() ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
    const std::wstring wide = win32::WidePath(target);
    if (win32::NamesADevice(wide)) throw FileError::NotRegularFile(target);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Nothing there; a missing folder shows when the temporary file
        // cannot be made.
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return target;
        Throw(target, error);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) Throw(target, ERROR_ACCESS_DENIED);
    // A read-only file stays protected: replacing it would not ask.
    if (attributes & FILE_ATTRIBUTE_READONLY) Throw(target, ERROR_ACCESS_DENIED);
    ScopedHandle existing(
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!existing.Valid()) ThrowLastError(target);
    if (::GetFileType(existing.Get()) != FILE_TYPE_DISK) throw FileError::NotRegularFile(target);
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return target;
    // A symbolic link: the file it leads to is replaced, the link stays.
    const std::optional<std::wstring> final = FinalPath(existing.Get());
    if (!final) ThrowLastError(target);
    return win32::Utf8(*final);
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    const std::wstring wide = win32::WidePath(path);
    if (wide.empty() || win32::NamesADevice(wide)) return std::nullopt;
    ScopedHandle file(OpenToLookAt(wide));
    if (!file.Valid()) return std::nullopt;
    return IdentityOfHandle(file.Get());
}

namespace native {

FileHandle OpenForReading(const std::string& path) {
    const std::wstring wide = win32::WidePath(path);
    if (win32::NamesADevice(wide)) throw FileError::NotRegularFile(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        Throw(path, ERROR_ACCESS_DENIED);
    ScopedHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, kShareForReading, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) ThrowLastError(path);
    // A pipe or a device put in the file's place since is refused before
    // anything is read from it.
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) throw FileError::NotRegularFile(path);
    return Portable(file.Release());
}

FileHandle CreateForWriting(const std::string& path) {
    const std::wstring wide = win32::WidePath(path);
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_WRITE, kShareForWriting, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) ThrowLastError(path);
    return Portable(file);
}

std::size_t ReadSome(FileHandle file, void* into, std::size_t count, const std::string& pathForMessages) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, kMaxTransferPerCall));
    DWORD got = 0;
    if (!::ReadFile(Native(file), into, want, &got, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_HANDLE_EOF) return 0;
        Throw(pathForMessages, error);
    }
    return got;
}

std::size_t WriteSome(FileHandle file, const void* data, std::size_t count, const std::string& pathForMessages) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, kMaxTransferPerCall));
    DWORD put = 0;
    if (!::WriteFile(Native(file), data, want, &put, nullptr)) ThrowLastError(pathForMessages);
    if (put == 0) Throw(pathForMessages, ERROR_WRITE_FAULT);
    return put;
}

void SeekTo(FileHandle file, std::uint64_t offset, const std::string& pathForMessages) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max()))
        Throw(pathForMessages, ERROR_NEGATIVE_SEEK);
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(Native(file), distance, nullptr, FILE_BEGIN)) ThrowLastError(pathForMessages);
}

std::uint64_t LengthOf(FileHandle file, const std::string& pathForMessages) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(Native(file), &size)) ThrowLastError(pathForMessages);
    return static_cast<std::uint64_t>(size.QuadPart);
}

void SyncToDevice(FileHandle file, const std::string& pathForMessages) {
    if (!::FlushFileBuffers(Native(file))) ThrowLastError(pathForMessages);
}

void Close(FileHandle file, const std::string& pathForMessages) {
    if (!::CloseHandle(Native(file))) ThrowLastError(pathForMessages);
}

void CloseQuietly(FileHandle file) noexcept { ::CloseHandle(Native(file)); }

FileIdentity IdentityOf(FileHandle file) noexcept { return IdentityOfHandle(Native(file)).value_or(FileIdentity{}); }

Replacement CreateReplacement(const std::string& target) {
    Replacement result;
    result.destination = Destination(target);
    const auto unique = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        result.temporary = TemporaryPathFor(result.destination, ::GetCurrentProcessId(),
                                            static_cast<std::uint64_t>(unique + attempt));
        HANDLE file = ::CreateFileW(win32::WidePath(result.temporary).c_str(), GENERIC_WRITE, kShareForWriting,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            result.file = Portable(file);
            return result;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) Throw(target, error);
    }
    Throw(target, ERROR_FILE_EXISTS);
}

void Replace(const std::string& temporary, const std::string& destination, const std::string& target) {
    // Write-through: the call returns once the move is on the disk, so a
    // power cut after it cannot bring the old file back.
    if (!::MoveFileExW(win32::WidePath(temporary).c_str(), win32::WidePath(destination).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ThrowLastError(target);
}

void RemoveQuietly(const std::string& path) noexcept { ::DeleteFileW(win32::WidePath(path).c_str()); }

FileErrorCause ListFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    std::string pattern = folder;
    if (!pattern.empty() && std::string(kFolderEnds).find(pattern.back()) == std::string::npos)
        pattern += kPathSeparator;
    pattern += '*';
    WIN32_FIND_DATAW entry{};
    HANDLE find = ::FindFirstFileExW(win32::WidePath(pattern).c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // No entry at all: an empty drive's root.
        if (error == ERROR_FILE_NOT_FOUND) return FileErrorCause::None;
        // The folder itself is not there.
        if (error == ERROR_PATH_NOT_FOUND) return FileErrorCause::FileNotFound;
        return CauseFromWindowsError(error);
    }
    DWORD error = ERROR_NO_MORE_FILES;
    do {
        const std::string name = win32::Utf8(entry.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileW(find, &entry) || (error = ::GetLastError()) != ERROR_NO_MORE_FILES);
    ::FindClose(find);
    if (error != ERROR_NO_MORE_FILES) {
        names.clear();
        return CauseFromWindowsError(error);
    }
    return FileErrorCause::None;
}

void MakeFolderIfMissing(const std::string& path) noexcept {
    const std::wstring wide = win32::WidePath(path);
    if (::GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES && ::GetLastError() == ERROR_FILE_NOT_FOUND)
        ::CreateDirectoryW(wide.c_str(), nullptr);
}

}  // namespace native
}  // namespace quorlin
