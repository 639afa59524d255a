#pragma once
// Paths and system texts between the program's UTF-8 strings and the wide
// strings of the Win32 calls. Windows build only.

#include <string>

namespace quorlin::win32 {

// path (UTF-8) as the wide "W" calls take it; bytes that are no UTF-8 are
// taken as the ANSI code page's, as the narrow calls would.
std::wstring WidePath(const std::string& path);
// True when path names a device (COM1, NUL, \\.\...) rather than a file:
// the system resolves such names into the device namespace. Opening a device
// acts on it (a serial port raises its DTR line), so callers ask first.
bool NamesADevice(const std::wstring& path);
// A wide text from the system as UTF-8.
std::string Utf8(const std::wstring& text);
// The system's own text for an error code (FormatMessage), without the
// line break and full stop at its end; "error N" when it has none.
std::string SystemErrorText(unsigned long code);

}  // namespace quorlin::win32
