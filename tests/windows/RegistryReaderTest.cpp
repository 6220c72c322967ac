// The registry value reader against real keys under HKEY_CURRENT_USER that
// the test creates and removes.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "fakes/FakeLog.h"
#include "sysinfo/RegistryReader.h"
#include "win32/Win32Registry.h"

namespace quillon {
namespace {

using namespace std::string_literals;

const std::string kParent = "Software\\QuillonTests";

struct RegistryReaderTest : ::testing::Test, fakes::FakeLog {
    win32::Win32Registry registry;
    RegistryReader reader{registry, log};
    std::string subkey = kParent + "\\RegistryReader" + std::to_string(GetCurrentProcessId());
    HKEY key = nullptr;

    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key);
        RegDeleteTreeA(HKEY_CURRENT_USER, subkey.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, kParent.c_str());  // only when now empty
    }
    void Set(const std::string& name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(
            RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
    }
    std::string Get(const std::string& name) {
        return reader.GetKeyValue(kHKeyCurrentUser, subkey, name);
    }
};

TEST_F(RegistryReaderTest, EachTypeReadsAsText) {
    Set("ProductName", REG_SZ, "Windows 10 Pro\0"s);
    Set("NoTerminator", REG_SZ, "abc");
    Set("EmptyString", REG_SZ, "");
    Set("Path", REG_EXPAND_SZ, "%SystemRoot%\\x\0"s);
    Set("List", REG_MULTI_SZ, "a\0bc\0\0"s);
    Set("AllOnes", REG_DWORD, "\xFF\xFF\xFF\xFF"s);
    Set("Build", REG_DWORD, "\x00\x28\x00\x00"s);
    Set("Bytes", REG_BINARY, "\x01\x02\xAB"s);
    Set("NoBytes", REG_BINARY, "");

    EXPECT_EQ(Get("ProductName"), "Windows 10 Pro");
    EXPECT_EQ(Get("NoTerminator"), "abc");
    EXPECT_EQ(Get("EmptyString"), "");
    EXPECT_EQ(Get("Path"), "%SystemRoot%\\x");
    EXPECT_EQ(Get("List"), "a\0bc"s);
    EXPECT_EQ(Get("AllOnes"), "-1");
    EXPECT_EQ(Get("Build"), "10240");
    EXPECT_EQ(Get("Bytes"), "01 02 AB");
    EXPECT_EQ(Get("NoBytes"), "");
    EXPECT_FALSE(reader.KeyValuePresent(kHKeyCurrentUser, subkey, "productname"));
    EXPECT_EQ(Text(), "");
}

TEST_F(RegistryReaderTest, ValueOverTheBufferIsReadWithTheRetry) {
    const std::string big(6000, 'x');
    Set("Big", REG_SZ, big + '\0');
    Set("Small", REG_SZ, "after\0"s);
    EXPECT_EQ(Get("Big"), big);
    EXPECT_EQ(Get("Small"), "after");  // found whichever comes first
    EXPECT_EQ(Text(), "");
}

TEST_F(RegistryReaderTest, ShorterNameDoesNotMatchTheLongerWanted) {
    Set("CurrentBuild", REG_SZ, "9600\0"s);
    EXPECT_FALSE(reader.KeyValuePresent(kHKeyCurrentUser, subkey, "CurrentBuildNumber"));
    Set("CurrentBuildNumber", REG_SZ, "10240\0"s);
    EXPECT_EQ(Get("CurrentBuildNumber"), "10240");
}

TEST_F(RegistryReaderTest, KeyWithNoValuesAndMissingKey) {
    EXPECT_TRUE(reader.KeyValuePresent(kHKeyCurrentUser, subkey, ""));
    EXPECT_EQ(Get(""), "");
    EXPECT_FALSE(reader.KeyValuePresent(kHKeyCurrentUser, subkey, "Anything"));
    EXPECT_FALSE(reader.KeyValuePresent(kHKeyCurrentUser, subkey + "\\Missing", ""));
    EXPECT_EQ(reader.GetKeyValue(kHKeyCurrentUser, subkey + "\\Missing", ""), "");
    EXPECT_TRUE(files.contents.empty());
}

TEST_F(RegistryReaderTest, PredefinedRootOfTheMachineOpens) {
    // The key and value the identification reads, through the port's
    // 32-bit root value.
    EXPECT_TRUE(reader.KeyValuePresent(kHKeyLocalMachine,
                                       "Software\\Microsoft\\Windows NT\\CurrentVersion",
                                       "CurrentBuildNumber"));
    EXPECT_EQ(Text(), "");
}

}  // namespace
}  // namespace quillon
