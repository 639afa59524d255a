// The profile in the registry, for the Windows build of quorlin-cli.

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <limits>
#include <optional>
#include <vector>

#include "cli/RegistryProfile.h"
#include "cli/TransferProfile.h"
#include "serial/ProbePorts.h"

namespace quorlin::cli {

namespace {

constexpr const wchar_t* kCommPortValue = L"CommPort";
constexpr const wchar_t* kSysTypeValue = L"SysType";
constexpr const wchar_t* kBaudRateValue = L"BaudRate";
constexpr const wchar_t* kChosenPortNumberValue = L"Number";

// The longest string value looked at: a 32-bit number with blanks around it
// is far shorter; anything longer is not one.
constexpr DWORD kLongestNumberText = 64;

std::optional<int32_t> InRange(long long value) {
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

// A whole decimal number with optional blanks around it and an optional sign.
std::optional<int32_t> ParseNumberText(const wchar_t* text) {
    while (*text == L' ' || *text == L'\t') ++text;
    const bool negative = *text == L'-';
    if (*text == L'-' || *text == L'+') ++text;
    if (*text < L'0' || *text > L'9') return std::nullopt;
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > 1LL << 32) return std::nullopt;
    }
    while (*text == L' ' || *text == L'\t') ++text;
    if (*text != L'\0') return std::nullopt;
    return InRange(negative ? -value : value);
}

int32_t ReadValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return 0;
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD value = 0;
        if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
            return 0;
        int32_t number;
        std::memcpy(&number, &value, sizeof number);
        return number;
    }
    if (type == REG_QWORD && size == sizeof(ULONGLONG)) {
        long long value = 0;
        if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
            return 0;
        return InRange(value).value_or(0);
    }
    if (type == REG_SZ && size <= kLongestNumberText * sizeof(wchar_t)) {
        // One more character than asked for: the stored string need not end in a NUL.
        std::vector<wchar_t> text(kLongestNumberText + 1, L'\0');
        DWORD bytes = kLongestNumberText * sizeof(wchar_t);
        if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
            ERROR_SUCCESS)
            return 0;
        return ParseNumberText(text.data()).value_or(0);
    }
    return 0;
}

bool WriteValue(HKEY key, const wchar_t* name, int32_t number) {
    DWORD value;
    std::memcpy(&value, &number, sizeof value);
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

}  // namespace

RegistryProfile ReadRegistryProfile() {
    RegistryProfile profile;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryChosenPortKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        profile.chosenPortNumber = ReadValue(key, kChosenPortNumberValue);
        RegCloseKey(key);
    }
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryProfileKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return profile;
    profile.commPort = ReadValue(key, kCommPortValue);
    profile.sysType = ReadValue(key, kSysTypeValue);
    profile.baudRate = ReadValue(key, kBaudRateValue);
    RegCloseKey(key);
    return profile;
}

bool WriteRegistryProfile(const RegistryProfile& profile) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryProfileKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool written = WriteValue(key, kCommPortValue, profile.commPort) &&
                         WriteValue(key, kSysTypeValue, profile.sysType) &&
                         WriteValue(key, kBaudRateValue, profile.baudRate) && RegFlushKey(key) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

void LoadProfileSettings(CommSettings& settings) {
    const RegistryProfile stored = ReadRegistryProfile();
    settings.TakeStored(stored.commPort, stored.sysType, stored.baudRate);
}

unsigned LoadChosenPortNumber() {
    const int32_t number = ReadRegistryProfile().chosenPortNumber;
    return number > 0 && number <= static_cast<int32_t>(kHighestPortNumber) ? static_cast<unsigned>(number) : 0;
}

// Machine groups are kept in the profile file of the other systems; the
// registry holds none yet.
MachineList LoadMachines() { return {}; }

}  // namespace quorlin::cli
