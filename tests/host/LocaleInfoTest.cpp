#include <gtest/gtest.h>

#include "base/ErrorLog.h"
#include "base/UtcClock.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeFiles.h"
#include "sysinfo/LocaleInfo.h"

namespace quillon {
namespace {

struct LocaleInfoFixture : ::testing::Test {
    fakes::FakeClock systemClock;
    fakes::FakeFiles files;
    ErrorLog log{files, clock};
    UtcClock clock{systemClock, log};
    LocaleInfo locale{log};
};

TEST_F(LocaleInfoFixture, AnswersAreTheFixedOnesOfNoChosenLocale) {
    EXPECT_EQ(locale.GetLocaleID(), 0);
    EXPECT_EQ(locale.GetLocaleLanguage(), "?");
    EXPECT_EQ(locale.GetLocaleOEMCodePage(), "?");
    EXPECT_EQ(locale.GetLocaleCountry(), "?");
    EXPECT_EQ(locale.GetLocaleANSICodePage(), "");
    EXPECT_EQ(locale.GetLocaleThousandSeparator(), "");
    EXPECT_EQ(locale.GetLocaleDecimalSeparator(), "");
    EXPECT_TRUE(files.contents.empty());
}

TEST_F(LocaleInfoFixture, ValueQueriesAnswerTheModuleState) {
    locale.LocaleID = 0x0409;
    locale.ANSICodePage = "1252";
    locale.ThousandSeparator = ",";
    locale.DecimalSeparator = ".";
    EXPECT_EQ(locale.GetLocaleID(), 0x0409);
    EXPECT_EQ(locale.GetLocaleANSICodePage(), "1252");
    EXPECT_EQ(locale.GetLocaleThousandSeparator(), ",");
    EXPECT_EQ(locale.GetLocaleDecimalSeparator(), ".");
}

}  // namespace
}  // namespace quillon
