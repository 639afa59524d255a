// The transfer files on Windows (see TransferFileNative.h). Paths are UTF-8
// and reach the system through the wide calls.
#include <windows.h>

#include <algorithm>
#include <string>

#include "convert/Win32Text.h"
#include "transfer/TransferFileNative.h"

namespace quorlin::transfer_file {

namespace {

// Other programs may read and write the file while a transfer holds it, as
// on every other system; only another transfer is kept out, by the lock.
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
// The transfer's lock: one byte far past the end of any real file. Windows
// locks are mandatory, so locking the file's bytes would stop other programs
// reading them; a byte no one reads keeps out only another transfer, which
// asks for the same byte.
constexpr ULONGLONG kLockOffset = 0x7FFF'FFFF'FFFF'FFF0ull;
constexpr DWORD kLockLength = 1;
// The most one ReadFile or WriteFile is asked for; the callers loop.
constexpr DWORD kMaxTransferPerCall = 1u << 30;

HANDLE Native(Handle file) { return reinterpret_cast<HANDLE>(file); }

// A failed call, in the system's own words.
FileFailure SystemFailure(const char* operation, DWORD code, const std::string& path = {}) {
    return {CauseFromWindowsError(code), path, static_cast<int>(code), win32::SystemErrorText(code), operation};
}

// A name or handle that is not a regular file, refused as access denied (as
// the converters refuse it) in words that say what it is.
FileFailure NotRegularFailure(const char* kind, const std::string& path, const char* operation) {
    return {FileErrorCause::AccessDenied, path, 0, std::string("it is ") + kind + ", not a regular file", operation};
}

// A name in the device namespace: a pipe's own, or any other device's.
const char* DeviceKind(const std::wstring& path) {
    static constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";
    std::wstring lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
    return lower.rfind(kPipePrefix, 0) == 0 ? "a named pipe" : "a device";
}

const char* KindOfOpenFile(HANDLE file) {
    switch (::GetFileType(file)) {
    case FILE_TYPE_DISK: return nullptr;
    case FILE_TYPE_CHAR: return "a device";
    case FILE_TYPE_PIPE: return "a named pipe";
    default: return "not a regular file";
    }
}

bool Lock(HANDLE file) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(kLockOffset & 0xFFFF'FFFFu);
    where.OffsetHigh = static_cast<DWORD>(kLockOffset >> 32);
    return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, kLockLength, 0, &where);
}

bool Empty(HANDLE file) {
    LARGE_INTEGER start{};
    return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
}

}  // namespace

Opened OpenExclusive(const std::string& path, Access access) {
    const std::wstring wide = win32::WidePath(path);
    // Devices and pipes are refused before they are opened: opening a serial
    // port acts on its lines, and a pipe's other end would see us come.
    if (win32::NamesADevice(wide)) return {kNoHandle, NotRegularFailure(DeviceKind(wide), path, "")};
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    const DWORD attributesError = attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_SUCCESS;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {kNoHandle, NotRegularFailure("a folder", path, "GetFileAttributesW()")};
    if (access == Access::Replace && attributes == INVALID_FILE_ATTRIBUTES &&
        (attributesError == ERROR_FILE_NOT_FOUND || attributesError == ERROR_PATH_NOT_FOUND))
        return {};  // nothing to replace
    const bool reading = access != Access::Write;
    // A read-only program is never emptied nor replaced. Windows refuses to
    // open it for writing anyway; asking first keeps that true where the
    // file system would let its owner write regardless (Wine run as root
    // does).
    if (access != Access::Read && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return {kNoHandle, SystemFailure("GetFileAttributesW()", ERROR_ACCESS_DENIED, path)};
    HANDLE file = ::CreateFileW(wide.c_str(), reading ? GENERIC_READ : GENERIC_WRITE, kShare, nullptr,
                                reading ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {kNoHandle, SystemFailure("CreateFileW()", ::GetLastError(), path)};
    std::optional<FileFailure> failure;
    if (const char* kind = KindOfOpenFile(file)) {
        failure = NotRegularFailure(kind, path, "GetFileType()");
    } else if (!Lock(file)) {
        const DWORD error = ::GetLastError();
        failure = error == ERROR_LOCK_VIOLATION ? FileFailure{FileErrorCause::LockViolation, path,
                                                              static_cast<int>(error), "another transfer is using it",
                                                              "LockFileEx()"}
                                                : SystemFailure("LockFileEx()", error, path);
    } else if (!reading && !Empty(file)) {
        // Emptied only now that the lock is ours.
        failure = SystemFailure("SetEndOfFile()", ::GetLastError(), path);
    } else {
        return {reinterpret_cast<Handle>(file), std::nullopt};
    }
    ::CloseHandle(file);
    return {kNoHandle, std::move(failure)};
}

FileOutcome LengthOf(Handle file, std::uint64_t& length) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(Native(file), &size)) return SystemFailure("GetFileSizeEx()", ::GetLastError());
    length = static_cast<std::uint64_t>(size.QuadPart);
    return {};
}

long long ReadSome(Handle file, void* into, std::size_t count) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, kMaxTransferPerCall));
    if (!::ReadFile(Native(file), into, want, &got, nullptr)) return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return got;
}

long long WriteSome(Handle file, const void* data, std::size_t count) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, kMaxTransferPerCall));
    if (!::WriteFile(Native(file), data, want, &put, nullptr) || put == 0) return -1;
    return put;
}

bool SeekTo(Handle file, std::uint64_t offset) {
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return offset <= static_cast<std::uint64_t>(INT64_MAX) &&
           ::SetFilePointerEx(Native(file), distance, nullptr, FILE_BEGIN);
}

// The lock goes with the handle.
FileOutcome Close(Handle file) {
    if (::CloseHandle(Native(file))) return {};
    return SystemFailure("CloseHandle()", ::GetLastError());
}

FileOutcome Replace(const std::string& from, const std::string& to) {
    if (::MoveFileExW(win32::WidePath(from).c_str(), win32::WidePath(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return SystemFailure("MoveFileExW()", ::GetLastError(), to);
}

bool Remove(const std::string& path) { return ::DeleteFileW(win32::WidePath(path).c_str()) != 0; }

}  // namespace quorlin::transfer_file
