#include <gtest/gtest.h>

#include <array>
#include <string>

#include "base/ErrorLog.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLog.h"

namespace quillon {
namespace {

struct ClockFixture : ::testing::Test, fakes::FakeLog {};

TEST_F(ClockFixture, CalendarEdgesGiveTheAutomationDate) {
    systemClock.Set(2000, 2, 29, 12, 0, 0);
    EXPECT_DOUBLE_EQ(clock.CurrentTime(), 36585.5);
    systemClock.Set(2000, 3, 1, 0, 0, 0);
    EXPECT_DOUBLE_EQ(clock.CurrentTime(), 36586);
    systemClock.Set(2001, 1, 1, 0, 0, 0);
    EXPECT_DOUBLE_EQ(clock.CurrentTime(), 36892);
    systemClock.Set(2100, 3, 1, 0, 0, 0);  // 2100 is no leap year
    EXPECT_DOUBLE_EQ(clock.CurrentTime(), 73110);
}

TEST_F(ClockFixture, MillisecondsAreDroppedAndStampIsFormatted) {
    systemClock.Set(2024, 12, 31, 23, 59, 59, 999);
    const double now = clock.CurrentTime();
    EXPECT_EQ(clock.FormatLogStamp(now), "31-Dec-2024 23:59:59");
    systemClock.Set(2026, 12, 6, 4, 55, 40);
    EXPECT_EQ(clock.FormatLogStamp(clock.CurrentTime()), "06-Dec-2026 04:55:40");
    EXPECT_EQ(clock.FormatLogStamp(0), "30-Dec-1899 00:00:00");
}

TEST(UtcClockMonthNames, StampNamesTheMonthAsTheUsersLocaleGivesIt) {
    const std::array<std::string, 12> german{"Jan", "Feb", "M\xE4r", "Apr", "Mai", "Jun",
                                             "Jul", "Aug", "Sep",    "Okt", "Nov", "Dez"};
    struct Case {
        const char* what;
        size_t month;  // 0 to 11: the entry changed from the German set
        std::string name;
        const char* stamp;
    } const cases[] = {
        {"German", 11, "Dez", "06-Dez-2026 04:55:40"},
        {"the platform's form as given", 11, "Dez.", "06-Dez.-2026 04:55:40"},
        {"one month missing: English throughout", 4, "", "06-Dec-2026 04:55:40"},
        {"a line break", 11, "De\r\nz", "06-Dec-2026 04:55:40"},
        {"a character the code page lacks", 11, "D?z", "06-Dec-2026 04:55:40"},
    };
    for (const Case& c : cases) {
        fakes::FakeLog f;
        f.systemClock.monthNames = german;
        f.systemClock.monthNames[c.month] = c.name;
        EXPECT_EQ(f.clock.FormatLogStamp(f.clock.CurrentTime()), c.stamp) << c.what;
        // Asked once per run, not on every line.
        const int queries = f.systemClock.monthNameQueries;
        EXPECT_GT(queries, 0) << c.what;
        EXPECT_EQ(f.clock.FormatLogStamp(f.clock.CurrentTime()), c.stamp) << c.what;
        EXPECT_EQ(f.systemClock.monthNameQueries, queries) << c.what;
    }
}

TEST_F(ClockFixture, ClockBefore2000AddsNoWholeYears) {
    systemClock.Set(1999, 3, 1, 0, 0, 0);
    EXPECT_DOUBLE_EQ(clock.CurrentTime(), 36585);
    EXPECT_EQ(clock.FormatLogStamp(36585), "29-Feb-2000 00:00:00");
}

TEST_F(ClockFixture, MonthDaysTable) {
    EXPECT_EQ(clock.MonthDays(3, true), 29);
    EXPECT_EQ(clock.MonthDays(3, false), 28);
    EXPECT_EQ(clock.MonthDays(1, true), 0);
    EXPECT_EQ(clock.MonthDays(13, false), 0);
    EXPECT_EQ(clock.MonthDays(0, false), 0);
    EXPECT_EQ(clock.MonthDays(12, false), 30);
}

TEST_F(ClockFixture, MinuteOverflowReportsStateAndDumpsFields) {
    systemClock.Set(2026, 1, 2, 3, 600, 5);  // 600 * 60 overflows 16 bits
    EXPECT_EQ(clock.CurrentTime(), 0);
    const std::string text = Text();
    EXPECT_NE(text.find("program error 6 in module UTC.CurrentTime, State = 4: Overflow\r\n"),
              std::string::npos);
    for (const char* line : {"   UTCTime.wYear   = 2026\r\n", "   UTCTime.wMonth  = 1\r\n",
                             "   UTCTime.wDay    = 2\r\n", "   UTCTime.wHour   = 3\r\n",
                             "   UTCTime.wMinute = 600\r\n", "   UTCTime.wSecond = 5\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace quillon
