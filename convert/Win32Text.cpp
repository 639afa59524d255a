#include "convert/Win32Text.h"

#include <windows.h>

namespace quorlin::win32 {

namespace {

std::wstring Widen(const std::string& text, UINT codePage, DWORD flags) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
    return wide;
}

}  // namespace

std::wstring WidePath(const std::string& path) {
    std::wstring wide = Widen(path, CP_UTF8, MB_ERR_INVALID_CHARS);
    if (wide.empty() && !path.empty()) wide = Widen(path, CP_ACP, 0);
    return wide;
}

bool NamesADevice(const std::wstring& path) {
    static constexpr wchar_t kDeviceNamespace[] = L"\\\\.\\";
    if (path.rfind(kDeviceNamespace, 0) == 0) return true;
    const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return false;
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    if (written == 0 || written >= length) return false;
    full.resize(written);
    return full.rfind(kDeviceNamespace, 0) == 0;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string SystemErrorText(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 && buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.'))
        text.pop_back();
    if (text.empty()) return "error " + std::to_string(code);
    return Utf8(text);
}

}  // namespace quorlin::win32
