// The settings adapter on the real per-user registry, under the program's
// own key; every section it creates is removed again.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "win32/Win32Settings.h"

namespace quillon::win32 {
namespace {

constexpr const char* kApp = "MRP_Quillon";
constexpr const char* kSection = "SettingsStoreTest";

class SettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { RemoveSection(); }
    void TearDown() override { RemoveSection(); }

    static std::string SectionPath() {
        return std::string(Win32Settings::kRootPath) + "\\" + kApp + "\\" + kSection;
    }
    static void RemoveSection() { ::RegDeleteTreeA(HKEY_CURRENT_USER, SectionPath().c_str()); }

    Win32Settings store_;
};

TEST_F(SettingsStoreTest, ValuesRoundTripAsRegSzUnderTheProgramsKey) {
    store_.SaveSetting(kApp, kSection, "MRP_UILeft", "1200");
    EXPECT_EQ(store_.GetSetting(kApp, kSection, "MRP_UILeft", "0"), "1200");
    store_.SaveSetting(kApp, kSection, "MRP_UILeft", "-15000");
    EXPECT_EQ(store_.GetSetting(kApp, kSection, "MRP_UILeft", "0"), "-15000");

    char data[64] = {};
    DWORD size = sizeof(data);
    DWORD type = 0;
    ASSERT_EQ(::RegGetValueA(HKEY_CURRENT_USER, SectionPath().c_str(), "MRP_UILeft", RRF_RT_ANY,
                             &type, data, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(data, "-15000");
}

TEST_F(SettingsStoreTest, KeyAndSectionNamesMatchWithoutRegardToCase) {
    store_.SaveSetting(kApp, kSection, "MRP_UIWindowState", "2");
    EXPECT_EQ(store_.GetSetting(kApp, kSection, "MRP_UIWindowstate", "0"), "2");
    EXPECT_EQ(store_.GetSetting(kApp, "settingsstoretest", "mrp_uiwindowstate", "0"), "2");
}

TEST_F(SettingsStoreTest, AbsentOrForeignValuesGiveTheDefault) {
    EXPECT_EQ(store_.GetSetting(kApp, kSection, "DualMonitor", "False"), "False");  // no section
    store_.SaveSetting(kApp, kSection, "Other", "x");
    EXPECT_EQ(store_.GetSetting(kApp, kSection, "DualMonitor", "False"), "False");  // no value
    EXPECT_EQ(store_.GetSetting(kApp, kSection, "Empty", ""), "");

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

TEST_F(SettingsStoreTest, TextIsKeptByteForByteAndEmptyNamesAreRefused) {
    const std::string text = "\xAD\xB7\xD8 \xE9t\xE9";
    store_.SaveSetting(kApp, kSection, "Text", text);
    EXPECT_EQ(store_.GetSetting(kApp, kSection, "Text", ""), text);
    store_.SaveSetting(kApp, kSection, "Text", "");
    EXPECT_EQ(store_.GetSetting(kApp, kSection, "Text", "default"), "");

    EXPECT_EQ(CollectError([&] { store_.SaveSetting(kApp, kSection, "", "x"); }),
              kErrInvalidProcedureCall);
    EXPECT_EQ(CollectError([&] { store_.GetSetting(kApp, "", "Key", "d"); }),
              kErrInvalidProcedureCall);
}

}  // namespace
}  // namespace quillon::win32
