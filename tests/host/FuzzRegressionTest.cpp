// Inputs the fuzz targets (tests/fuzz) found faults with, kept as tests.

#include <gtest/gtest.h>

#include "base/ErrorLog.h"
#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLog.h"

namespace quillon {
namespace {

struct FuzzClockFixture : ::testing::Test, fakes::FakeLog {};

// A month field of 32767 once wrapped the 16-bit month count and hung the
// clock, and with it every write to the error log. It now overflows in the
// month step, is reported with the fields, and the clock answers 0.
TEST_F(FuzzClockFixture, MonthOf32767OverflowsInsteadOfHanging) {
    systemClock.Set(2026, 32767, 1, 0, 0, 0);
    EXPECT_EQ(clock.CurrentTime(), 0);
    const std::string text = Text();
    EXPECT_NE(text.find(" > program error 6 in module UTC.CurrentTime, State = 2: Overflow\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" >    UTCTime.wMonth  = 32767\r\n"), std::string::npos) << text;

    // The largest month that does not reach the limit still counts through.
    files.contents.clear();
    systemClock.Set(2000, 32766, 1, 0, 0, 0);
    EXPECT_DOUBLE_EQ(clock.CurrentTime(), 36525 + 335 + 1);
    EXPECT_TRUE(Text().empty());
}

// The same clock behind an ordinary log write: the line still arrives,
// after the clock's report, stamped with the clock's fallback 0.
TEST_F(FuzzClockFixture, LogWriteWithMonth32767EndsWithItsLine) {
    systemClock.Set(2026, 32767, 1, 0, 0, 0);
    log.WriteErrorLog("after");
    const std::string text = Text();
    const std::string tail = "30-Dec-1899 00:00:00 > after\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

}  // namespace
}  // namespace quillon
