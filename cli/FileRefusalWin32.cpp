// Windows: a name in the device namespace (COM1, NUL, \\.\pipe\...) is
// refused by its name alone; opening it to look would act on the device
// (a serial port raises DTR, a pipe's server sees a client come).

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "cli/FileRefusal.h"
#include "convert/Win32Text.h"

namespace quorlin::cli {

namespace {

bool NamesAPipe(std::wstring path) {
    static constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";
    std::transform(path.begin(), path.end(), path.begin(), [](wchar_t c) { return std::towlower(c); });
    return path.rfind(kPipePrefix, 0) == 0;
}

}  // namespace

std::optional<std::string> RefuseFile(const std::string& path, FileRole role) {
    const std::wstring wide = win32::WidePath(path);
    if (win32::NamesADevice(wide))
        return path + " is " + (NamesAPipe(wide) ? "a named pipe" : "a device") + ", not a regular file";
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (role == FileRole::Target && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND))
            return std::nullopt;
        return path + ": " + win32::SystemErrorText(error);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return path + " is a folder, not a regular file";
    return std::nullopt;
}

}  // namespace quorlin::cli
