#include <gtest/gtest.h>

#include "base/ErrorLog.h"
#include "base/Settings.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLog.h"
#include "fakes/FakeNumbers.h"
#include "fakes/FakeProgramInfo.h"
#include "fakes/FakeSettings.h"

namespace quillon {
namespace {

constexpr const char* kApp = "MRP_Quillon";

struct SettingsFixture : ::testing::Test, fakes::FakeLog {
    fakes::FakeSettings store;
    fakes::FakeNumbers numbers;
    fakes::FakeProgramInfo program;
    Settings settings{store, numbers, program, log};
};

TEST_F(SettingsFixture, IntegerConversionRoundsHalfToEvenAndFallsBackOutOfRange) {
    store.Put("Windows", "A", "2.5");
    store.Put("Windows", "B", "3.5");
    store.Put("Windows", "C", "40000");
    store.Put("Windows", "D", " -12 ");
    store.Put("Windows", "E", "");
    EXPECT_EQ(settings.GetIntegerSetting(kApp, "Windows", "A", "0"), 2);
    EXPECT_EQ(settings.GetIntegerSetting(kApp, "Windows", "B", "0"), 4);
    EXPECT_EQ(settings.GetIntegerSetting(kApp, "Windows", "C", "7"), 7);
    EXPECT_EQ(settings.GetIntegerSetting(kApp, "Windows", "D", "7"), -12);
    EXPECT_EQ(settings.GetIntegerSetting(kApp, "Windows", "E", "7"), 7);
    EXPECT_EQ(settings.GetIntegerSetting(kApp, "Windows", "Missing", "9"), 9);
    EXPECT_EQ(settings.GetLongSetting(kApp, "Windows", "C", "0"), 40000);
    EXPECT_FALSE(files.Exists(kPath)) << "bad stored values are never reported";
}

TEST_F(SettingsFixture, BooleanAcceptsWordsInAnyCaseAndNumbers) {
    store.Put("Windows", "T", "true");
    store.Put("Windows", "One", "1");
    store.Put("Windows", "Zero", "0");
    store.Put("Windows", "Yes", "yes");
    EXPECT_TRUE(settings.GetBooleanSetting(kApp, "Windows", "T", "False"));
    EXPECT_TRUE(settings.GetBooleanSetting(kApp, "Windows", "One", "False"));
    EXPECT_FALSE(settings.GetBooleanSetting(kApp, "Windows", "Zero", "True"));
    EXPECT_TRUE(settings.GetBooleanSetting(kApp, "Windows", "Yes", "TRUE"));
    EXPECT_FALSE(settings.GetBooleanSetting(kApp, "Windows", "Yes", "False"));
}

TEST_F(SettingsFixture, KeysMatchWithoutRegardToCase) {
    store.SaveSetting(kApp, "Windows", "MRP_UIWindowState", "2");
    EXPECT_EQ(settings.GetIntegerSetting(kApp, "windows", "MRP_UIWindowstate", "0"), 2);
}

TEST_F(SettingsFixture, UnreadableStoreFallsBackToDefaultWithoutReport) {
    store.failReadWith = kErrPermissionDenied;
    EXPECT_EQ(settings.GetLongSetting(kApp, "Windows", "MRP_UILeft", "120"), 120);
    EXPECT_FALSE(files.Exists(kPath));
}

TEST_F(SettingsFixture, DefaultThatDoesNotConvertIsReportedAndGivesZero) {
    store.Put("Windows", "Good", "5");
    EXPECT_EQ(settings.GetIntegerSetting(kApp, "Windows", "Good", "abc"), 0);
    EXPECT_FALSE(settings.GetBooleanSetting(kApp, "Windows", "Good", "maybe"));
    const std::string text = Text();
    EXPECT_NE(
        text.find("> program error 13 in module Common.GetIntegerSetting, SectionName = "
                  "Windows, Key = Good, theSetting = 5, DefaultValue = abc: Type mismatch\r\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("in module Common.GetBooleanSetting, SectionName = Windows, Key = Good, "
                        "theSetting = 5, DefaultValue = maybe: Type mismatch"),
              std::string::npos);
}

TEST_F(SettingsFixture, DebugLineShowsSectionKeyAndResult) {
    store.Put("Windows", "MRP_UILeft", "120");
    log.SetDebug(true);
    settings.GetLongSetting(kApp, "Windows", "MRP_UILeft", "0");
    settings.GetBooleanSetting(kApp, "Windows", "DualMonitor", "False");
    settings.GetIntegerSetting(kApp, "Windows", "X", "-3");
    const std::string text = Text();
    EXPECT_NE(
        text.find("> GetLongSetting,    Section = Windows, Key = MRP_UILeft, Result = 120\r\n"),
        std::string::npos)
        << text;
    EXPECT_NE(
        text.find("> GetBooleanSetting, Section = Windows, Key = DualMonitor, Result = False\r\n"),
        std::string::npos);
    EXPECT_NE(text.find("> GetIntegerSetting, Section = Windows, Key = X, Result = -3\r\n"),
              std::string::npos);
}

TEST_F(SettingsFixture, VersionJoinsNumbersWithoutPadding) {
    EXPECT_EQ(settings.Version(), "1.0.2");
    program.revision = 12;
    EXPECT_EQ(settings.Version(), "1.0.12");
}

}  // namespace
}  // namespace quillon
