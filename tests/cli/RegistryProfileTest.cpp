// The profile in the registry of the Windows build, read and written through
// the real registry (under Wine: the build's own prefix). Each test starts
// from no key at all and leaves none behind.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "cli/RegistryProfile.h"
#include "cli/TransferProfile.h"

using quorlin::cli::kRegistryProfileKey;
using quorlin::cli::ReadRegistryProfile;
using quorlin::cli::RegistryProfile;
using quorlin::cli::WriteRegistryProfile;

namespace {

class RegistryProfileTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveKey(); }
    void TearDown() override { RemoveKey(); }

    static void RemoveKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kRegistryProfileKey); }

    // Stores one value as another writer of the store might have left it.
    static void Store(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryProfileKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void StoreText(const wchar_t* name, const std::wstring& text) {
        Store(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    // What the registry holds under name: its type and its DWORD.
    static bool StoredDword(const wchar_t* name, DWORD& value) {
        DWORD size = sizeof value;
        return RegGetValueW(HKEY_CURRENT_USER, kRegistryProfileKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                            &size) == ERROR_SUCCESS;
    }
};

TEST_F(RegistryProfileTest, NoKeyReadsAsZeros) { EXPECT_EQ(ReadRegistryProfile(), RegistryProfile{}); }

TEST_F(RegistryProfileTest, WrittenValuesAreDwordsUnderTheProfileKeyAndReadBack) {
    const RegistryProfile written{3, 4, 1};
    ASSERT_TRUE(WriteRegistryProfile(written));
    DWORD port = 0, family = 0, baud = 0;
    ASSERT_TRUE(StoredDword(L"CommPort", port));
    ASSERT_TRUE(StoredDword(L"SysType", family));
    ASSERT_TRUE(StoredDword(L"BaudRate", baud));
    EXPECT_EQ(port, 3u);
    EXPECT_EQ(family, 4u);
    EXPECT_EQ(baud, 1u);
    EXPECT_EQ(ReadRegistryProfile(), written);

    // A negative number goes through a DWORD and comes back as itself.
    ASSERT_TRUE(WriteRegistryProfile({-1, INT32_MIN, INT32_MAX}));
    EXPECT_EQ(ReadRegistryProfile(), (RegistryProfile{-1, INT32_MIN, INT32_MAX}));
}

TEST_F(RegistryProfileTest, ValuesThatAreNo32BitIntegerReadAsZero) {
    const uint64_t big = 1ULL << 40;
    const uint8_t bytes[4] = {1, 0, 0, 0};
    const uint16_t shortWord = 7;
    Store(L"CommPort", REG_QWORD, &big, sizeof big);
    Store(L"SysType", REG_BINARY, bytes, sizeof bytes);
    Store(L"BaudRate", REG_DWORD, &shortWord, sizeof shortWord);  // two bytes: no DWORD
    EXPECT_EQ(ReadRegistryProfile(), RegistryProfile{});

    StoreText(L"CommPort", L"4294967296");
    StoreText(L"SysType", L"2x");
    StoreText(L"BaudRate", L"");
    EXPECT_EQ(ReadRegistryProfile(), RegistryProfile{});

    // A long text is no number however it ends.
    StoreText(L"CommPort", std::wstring(200, L'1'));
    EXPECT_EQ(ReadRegistryProfile().commPort, 0);
}

TEST_F(RegistryProfileTest, IntegersOfOtherTypesCountWhenTheyFit) {
    const int64_t small = -2;
    Store(L"CommPort", REG_QWORD, &small, sizeof small);
    StoreText(L"SysType", L" 4 ");
    StoreText(L"BaudRate", L"+1");
    EXPECT_EQ(ReadRegistryProfile(), (RegistryProfile{-2, 4, 1}));
}

TEST_F(RegistryProfileTest, TheCommandsTakeTheProfileWithTheBaudItChooses) {
    ASSERT_TRUE(WriteRegistryProfile({2, 3, 1}));
    quorlin::CommSettings settings;
    quorlin::cli::LoadProfileSettings(settings);
    EXPECT_EQ(settings.commPort, 2);
    EXPECT_EQ(settings.sysType, 3);
    EXPECT_EQ(settings.baudRate, 1);
    EXPECT_EQ(settings.baud, 115200);  // family 3, second choice
}

}  // namespace
