#pragma once
// The user's profile in the Windows registry, where quorlin-cli is built
// without Qt: key HKEY_CURRENT_USER\Software\Morvale CNC\Quorlin\Prop, the
// DWORD values "CommPort", "SysType" and "BaudRate" (where the application's
// settings store keeps them on Windows).

#include <cstdint>

namespace quorlin::cli {

struct RegistryProfile {
    int32_t commPort = 0;
    int32_t sysType = 0;
    int32_t baudRate = 0;
    // HKEY_CURRENT_USER\Software\Morvale CNC\Quorlin\ChosenPort, value
    // "Number": the port number "CommPort" was chosen for; 0 for none.
    int32_t chosenPortNumber = 0;

    bool operator==(const RegistryProfile&) const = default;
};

// The key under HKEY_CURRENT_USER.
inline constexpr const wchar_t* kRegistryProfileKey = L"Software\\Morvale CNC\\Quorlin\\Prop";
inline constexpr const wchar_t* kRegistryChosenPortKey = L"Software\\Morvale CNC\\Quorlin\\ChosenPort";

// Each value missing, or holding something that is not a 32-bit integer,
// reads as 0. A DWORD is taken as the signed number it holds; a QWORD or a
// decimal string (as another writer of the store may leave) counts when its
// number fits in 32 bits.
RegistryProfile ReadRegistryProfile();

// Writes the three "Prop" values as DWORDs, in that order, and flushes the key;
// false when the registry would not take them.
bool WriteRegistryProfile(const RegistryProfile& profile);

}  // namespace quorlin::cli
