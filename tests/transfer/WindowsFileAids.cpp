#include "tests/transfer/WindowsFileAids.h"

#include <windows.h>

#include "convert/Win32Text.h"

namespace quorlin::test::win {

namespace {

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

HeldFile::HeldFile(const std::string& path, bool forWriting, Sharing sharing)
    : handle_(reinterpret_cast<std::intptr_t>(::CreateFileA(
          path.c_str(), forWriting ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
          sharing == Sharing::Nothing ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
          FILE_ATTRIBUTE_NORMAL, nullptr))) {}

HeldFile::~HeldFile() {
    if (Held()) ::CloseHandle(Native(handle_));
}

bool HeldFile::Held() const { return Native(handle_) != INVALID_HANDLE_VALUE; }

NamedPipe::NamedPipe()
    : handle_(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)),
      name_("\\\\.\\pipe\\quorlin-test-" + std::to_string(::GetCurrentProcessId())) {
    constexpr DWORD kBufferSize = 512;
    handle_ = reinterpret_cast<std::intptr_t>(::CreateNamedPipeA(
        name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, kBufferSize, kBufferSize, 0, nullptr));
}

NamedPipe::~NamedPipe() {
    if (Made()) ::CloseHandle(Native(handle_));
}

bool NamedPipe::Made() const { return Native(handle_) != INVALID_HANDLE_VALUE; }

bool NamedPipe::SomeoneCame() const {
    // A non-blocking pipe answers at once: connected, or still listening.
    return !::ConnectNamedPipe(Native(handle_), nullptr) && ::GetLastError() == ERROR_PIPE_CONNECTED;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
    return ::SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

std::string TextOf(SystemError error) {
    switch (error) {
    case SystemError::FileNotFound: return win32::SystemErrorText(ERROR_FILE_NOT_FOUND);
    case SystemError::AccessDenied: return win32::SystemErrorText(ERROR_ACCESS_DENIED);
    case SystemError::SharingViolation: return win32::SystemErrorText(ERROR_SHARING_VIOLATION);
    }
    return {};
}

}  // namespace quorlin::test::win
