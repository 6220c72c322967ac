// The settings adapter on the real per-user registry, under the program's
// own key; every section it creates is removed again. What every settings
// store does is the shared table in contract/SettingsContract.h.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "contract/SettingsContract.h"
#include "win32/Win32Settings.h"

namespace quillon::win32 {
namespace {

constexpr const char* kApp = "MRP_Quillon";
constexpr const char* kSection = contract::kSettingsContractSection;
// Where users' settings already are: spelt out, not taken from the adapter.
constexpr const char* kRoot = "Software\\VB and VBA Program Settings";

class SettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { RemoveSection(); }
    void TearDown() override { RemoveSection(); }

    static std::string SectionPath() { return std::string(kRoot) + "\\" + kApp + "\\" + kSection; }
    static void RemoveSection() { ::RegDeleteTreeA(HKEY_CURRENT_USER, SectionPath().c_str()); }

    Win32Settings store_;
};

TEST_F(SettingsStoreTest, KeepsTheSettingsContract) {
    contract::RunSettingsContract(store_);
}

TEST_F(SettingsStoreTest, ValuesAreRegSzUnderTheProgramsKey) {
    store_.SaveSetting(kApp, kSection, "MRP_UILeft", "-15000");
    char data[64] = {};
    DWORD size = sizeof(data);
    DWORD type = 0;
    ASSERT_EQ(::RegGetValueA(HKEY_CURRENT_USER, SectionPath().c_str(), "MRP_UILeft", RRF_RT_ANY,
                             &type, data, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(data, "-15000");
}

TEST_F(SettingsStoreTest, ValuesOtherProgramsWroteGiveTheDefaultOrTheirText) {
    store_.SaveSetting(kApp, kSection, "Other", "x");
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, SectionPath().c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const DWORD number = 1;
    ::RegSetValueExA(key, "DualMonitor", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof(number));
    // REG_SZ data written without its NUL by another program.
    ::RegSetValueExA(key, "Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("720"), 3);
    ::RegCloseKey(key);
    EXPECT_EQ(store_.GetSetting(kApp, kSection, "DualMonitor", "False"), "False");
    EXPECT_EQ(store_.GetSetting(kApp, kSection, "Unterminated", "0"), "720");
}

}  // namespace
}  // namespace quillon::win32
