#pragma once
// Windows-only aids for the transfer file tests, kept apart from the
// engine's headers (whose message and line-state names are the ones
// <windows.h> defines as macros).

#include <cstdint>
#include <string>

namespace quorlin::test::win {

// A handle on an existing file as another program would hold it; closed
// when the object goes.
class HeldFile {
public:
    enum class Sharing { Nothing, ReadsAndWrites };
    HeldFile(const std::string& path, bool forWriting, Sharing sharing);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Held() const;

private:
    std::intptr_t handle_;
};

// A named pipe of this process, waiting for a client.
class NamedPipe {
public:
    NamedPipe();
    ~NamedPipe();
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;
    bool Made() const;
    const std::string& Name() const { return name_; }
    // True when a client has opened the pipe.
    bool SomeoneCame() const;

private:
    std::intptr_t handle_;
    std::string name_;
};

bool SetReadOnly(const std::string& path, bool readOnly);

enum class SystemError { FileNotFound, AccessDenied, SharingViolation };
// The system's own text for error, as the transfer files report it.
std::string TextOf(SystemError error);

}  // namespace quorlin::test::win
