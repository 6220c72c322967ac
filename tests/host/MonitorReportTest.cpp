#include <gtest/gtest.h>

#include <string>

#include "base/ErrorLog.h"
#include "common/CommonUi.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLog.h"
#include "fakes/FakeMonitors.h"
#include "placement/MonitorReport.h"

namespace quillon {
namespace {

// A clock that moves on one second every time it is read.
class TickingClock : public fakes::FakeClock {
  public:
    SystemTime GetSystemTime() override {
        SystemTime t = now;
        ++now.wSecond;
        return t;
    }
};

// Stands in for the environment header: loads CommonUI while the log is open.
class LoadingHeader : public LogHeader {
  public:
    explicit LoadingHeader(CommonUi& ui) : ui_(ui) {}
    void WriteHeader() override { ui_.Load(); }

  private:
    CommonUi& ui_;
};

struct ReportFixture : ::testing::Test, fakes::BasicFakeLog<TickingClock> {
    fakes::FakeMonitors monitors;
    MonitorReport report{monitors, clock, log};
    CommonUi ui{report};
    LoadingHeader header{ui};

    ReportFixture() {
        log.SetHeader(&header);
        systemClock.Set(2026, 12, 7, 9, 30, 0);
    }
};

TEST_F(ReportFixture, OnePrimaryMonitorGivesFiveStampedLines) {
    log.WriteErrorLog("first");
    EXPECT_EQ(Text(),
              "07-Dec-2026 09:30:00 > Monitors          : 1\r\n"
              "07-Dec-2026 09:30:01 > Monitor 1\r\n"
              "07-Dec-2026 09:30:02 >    width          : 1920\r\n"
              "07-Dec-2026 09:30:03 >    height         : 1080\r\n"
              "07-Dec-2026 09:30:04 >    dimensions     : (0, 0)-(1920, 1080)\r\n"
              "07-Dec-2026 09:30:05 > first\r\n");
    EXPECT_TRUE(ui.Loaded());
}

TEST_F(ReportFixture, SecondMonitorLeftOfThePrimaryHasNegativeCoordinates) {
    monitors.monitors = {{0, 0, 1920, 1080}, {-1280, -200, -1, 824}};
    log.WriteErrorLog("first");
    log.WriteErrorLog("second");
    EXPECT_EQ(Text(),
              "07-Dec-2026 09:30:00 > Monitors          : 2\r\n"
              "07-Dec-2026 09:30:01 > Monitor 1\r\n"
              "07-Dec-2026 09:30:02 >    width          : 1920\r\n"
              "07-Dec-2026 09:30:03 >    height         : 1080\r\n"
              "07-Dec-2026 09:30:04 >    dimensions     : (0, 0)-(1920, 1080)\r\n"
              "07-Dec-2026 09:30:05 > Monitor 2\r\n"
              "07-Dec-2026 09:30:06 >    width          : 1279\r\n"
              "07-Dec-2026 09:30:07 >    height         : 1024\r\n"
              "07-Dec-2026 09:30:08 >    dimensions     : (-1280, -200)-(-1, 824)\r\n"
              "07-Dec-2026 09:30:09 > first\r\n"
              "07-Dec-2026 09:30:10 > second\r\n");
}

TEST_F(ReportFixture, NoMonitorGivesOnlyTheCountLine) {
    monitors.monitors.clear();
    monitors.enumResult = false;
    log.WriteErrorLog("first");
    EXPECT_EQ(Text(),
              "07-Dec-2026 09:30:00 > Monitors          : 0\r\n"
              "07-Dec-2026 09:30:01 > first\r\n");
}

TEST_F(ReportFixture, EnumerationRegrowsTheListToTheMonitorsFound) {
    monitors.monitors = {{0, 0, 10, 10}, {10, 0, 20, 10}, {20, 0, 30, 10}};
    report.LogMonitorInfo();  // no log open: the lines are lost silently
    EXPECT_EQ(report.MonitorRects.size(), 3u);
    EXPECT_FALSE(files.Exists("C:\\app\\ErrorLog.txt"));

    monitors.monitors = {{-5, -6, 7, 8}};
    report.LogMonitorInfo();
    ASSERT_EQ(report.MonitorRects.size(), 1u);
    EXPECT_EQ(report.MonitorRects[0].left, -5);
    EXPECT_EQ(report.MonitorRects[0].bottom, 8);

    int32_t count = 4;
    EXPECT_TRUE(report.MonitorEnumProc({1, 2, 3, 4}, count));
    EXPECT_EQ(count, 5);
    ASSERT_EQ(report.MonitorRects.size(), 5u);
    EXPECT_EQ(report.MonitorRects[4].top, 2);
    EXPECT_EQ(report.MonitorRects[0].left, -5);  // earlier entries kept
}

TEST_F(ReportFixture, ExtentBeyond32BitsLosesOnlyItsLine) {
    monitors.monitors = {{INT32_MIN, 0, INT32_MAX, 10}};
    log.WriteErrorLog("first");
    const std::string text = Text();
    EXPECT_EQ(text.find("width"), std::string::npos);
    EXPECT_NE(text.find(">    height         : 10\r\n"), std::string::npos);
    EXPECT_NE(text.find(">    dimensions     : (-2147483648, 0)-(2147483647, 10)\r\n"),
              std::string::npos);
}

TEST_F(ReportFixture, CommonUiReportsOncePerLoadAndUnloadsHarmlessly) {
    ui.Unload();  // never loaded
    EXPECT_FALSE(ui.Loaded());
    log.WriteErrorLog("first");
    monitors.monitors.push_back({1920, 0, 3840, 1080});
    ui.Load();  // already loaded: no second enumeration
    EXPECT_EQ(report.MonitorRects.size(), 1u);
    ui.Unload();
    EXPECT_FALSE(ui.Loaded());
    ui.Load();  // a new load reports again
    EXPECT_EQ(report.MonitorRects.size(), 2u);
}

}  // namespace
}  // namespace quillon
