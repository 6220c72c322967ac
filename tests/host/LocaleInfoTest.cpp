#include <gtest/gtest.h>

#include "base/ErrorLog.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLog.h"
#include "sysinfo/LocaleInfo.h"

namespace quillon {
namespace {

struct LocaleInfoFixture : ::testing::Test, fakes::FakeLog {
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

}  // namespace
}  // namespace quillon
