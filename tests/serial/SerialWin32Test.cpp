// What a Windows port reports when it cannot be opened: the kind, the failed
// call and the system's own text for its error.
#include <windows.h>

#include <fstream>

#include "tests/serial/SerialPortFixture.h"

namespace quorlin {
namespace {

PortFailure FailedOpen(CSerialPort& port, unsigned number) {
    test::RecordingOwner owner;
    EXPECT_FALSE(port.Open(&owner, number, 0));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastError().rfind("CreateFile()", 0), 0u) << port.LastError();
    return port.LastOpenFailure();
}

TEST(Win32OpenFailure, ANumberThatNamesNoDeviceIsNotFoundWithTheSystemsText) {
    CSerialPort port;
    const PortFailure failure = FailedOpen(port, 250);
    EXPECT_EQ(failure.kind, PortFailureKind::NotFound);
    EXPECT_EQ(failure.operation, "CreateFile()");
    EXPECT_EQ(static_cast<DWORD>(failure.systemError), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // The text is the system's, without its line end.
    EXPECT_FALSE(failure.systemText.empty());
    EXPECT_EQ(failure.systemText.find('\n'), std::string::npos) << failure.systemText;
    EXPECT_EQ(failure.systemText.find("Windows error"), std::string::npos) << failure.systemText;
}

TEST(Win32OpenFailure, APlainFileIsNoSerialDeviceAndIsNotKeptOpen) {
    char folder[MAX_PATH];
    ASSERT_NE(::GetTempPathA(sizeof folder, folder), 0u);
    const std::string path = std::string(folder) + "quorlin-not-a-port.txt";
    std::ofstream(path) << "text";
    // The port host links COM<N> to a Unix path; Wine tells the file's.
    using ToUnix = char* (*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) GTEST_SKIP() << "not running under Wine";
    const std::wstring wide(path.begin(), path.end());
    char* unixPath = toUnix(wide.c_str());
    ASSERT_NE(unixPath, nullptr);
    test::PortsFolder map;
    map.Link(251, unixPath);
    ::HeapFree(::GetProcessHeap(), 0, unixPath);

    CSerialPort port;
    const PortFailure failure = FailedOpen(port, 251);
    EXPECT_EQ(failure.kind, PortFailureKind::NotSerialDevice) << failure.operation << ": " << failure.systemText;
    EXPECT_EQ(failure.operation, "GetCommState()");
    // Not held: the file can be removed at once.
    EXPECT_TRUE(::DeleteFileA(path.c_str())) << ::GetLastError();
}

}  // namespace
}  // namespace quorlin
