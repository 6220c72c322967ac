#include <gtest/gtest.h>

#include "base/ErrorLog.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeLog.h"
#include "fakes/FakeMonitors.h"
#include "placement/ReasonableBounds.h"

namespace quillon {
namespace {

// A primary screen of 1920 x 1080 pixels at 15 twips per pixel.
struct BoundsFixture : ::testing::Test, fakes::FakeLog {
    fakes::FakeMonitors monitors;
    PlacementState placement;
    ReasonableBounds bounds{monitors, placement, log};
};

TEST_F(BoundsFixture, SingleMonitorHoldsPositionsAndSizesToThePrimaryScreen) {
    EXPECT_EQ(bounds.ReasonableLeft(0), 0);
    EXPECT_EQ(bounds.ReasonableLeft(27360), 27360);  // 0.95 x 28800, inclusive
    EXPECT_EQ(bounds.ReasonableLeft(27361), 0);
    EXPECT_EQ(bounds.ReasonableLeft(-15), 0);
    EXPECT_EQ(bounds.ReasonableLeft(20000), 20000);
    EXPECT_EQ(bounds.ReasonableTop(15390), 15390);
    EXPECT_EQ(bounds.ReasonableTop(15391), 0);
    EXPECT_EQ(bounds.ReasonableTop(-1), 0);

    EXPECT_EQ(bounds.ReasonableWidth(31680), 31680);  // 1.1 x 28800, inclusive
    EXPECT_EQ(bounds.ReasonableWidth(0), 0);
    EXPECT_EQ(bounds.ReasonableWidth(31681), 14400);
    EXPECT_EQ(bounds.ReasonableWidth(-1), 14400);
    EXPECT_EQ(bounds.ReasonableHeight(17820), 17820);
    EXPECT_EQ(bounds.ReasonableHeight(17821), 8100);
    EXPECT_EQ(bounds.ReasonableHeight(-1), 8100);
    EXPECT_EQ(bounds.ReasonableHeight(INT32_MIN), 8100);
    EXPECT_EQ(bounds.ReasonableWidth(INT32_MAX), 14400);
    EXPECT_EQ(Text(), "");
}

TEST_F(BoundsFixture, DualMonitorLetsPositionsThroughAndRepairsOnlyNegativeSizes) {
    placement.DualMonitor = true;
    for (int32_t v : {-20000, 100000, 0, 27361, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(bounds.ReasonableLeft(v), v);
        EXPECT_EQ(bounds.ReasonableTop(v), v);
    }
    EXPECT_EQ(bounds.ReasonableWidth(100000), 100000);
    EXPECT_EQ(bounds.ReasonableHeight(100000), 100000);
    EXPECT_EQ(bounds.ReasonableWidth(-1), 14400);
    EXPECT_EQ(bounds.ReasonableHeight(-1), 8100);
}

TEST_F(BoundsFixture, ReplacementSizeRoundsHalvesToEven) {
    monitors.screenHeightTwips = 16201;  // 8100.5
    EXPECT_EQ(bounds.ReasonableHeight(-1), 8100);
    monitors.screenHeightTwips = 16203;  // 8101.5
    EXPECT_EQ(bounds.ReasonableHeight(-1), 8102);
    monitors.screenWidthTwips = 28801;  // 14400.5
    EXPECT_EQ(bounds.ReasonableWidth(99999), 14400);
}

TEST_F(BoundsFixture, ScreenIsMeasuredOnEveryCall) {
    EXPECT_EQ(bounds.ReasonableLeft(20000), 20000);
    monitors.screenWidthTwips = 19200;  // 1280 pixels: limit 18240
    EXPECT_EQ(bounds.ReasonableLeft(20000), 0);
    EXPECT_EQ(bounds.ReasonableWidth(-1), 9600);
}

TEST_F(BoundsFixture, UnreadableScreenIsReportedAndGivesZero) {
    monitors.failScreenWith = kErrInternal;
    EXPECT_EQ(bounds.ReasonableLeft(100), 0);
    EXPECT_EQ(bounds.ReasonableHeight(-1), 0);
    placement.DualMonitor = true;
    EXPECT_EQ(bounds.ReasonableTop(100), 0);
    const std::string text = Text();
    EXPECT_NE(text.find("program error 51 in module Common.ReasonableLeft: "), std::string::npos);
    EXPECT_NE(text.find("program error 51 in module Common.ReasonableHeight: "), std::string::npos);
    EXPECT_NE(text.find("program error 51 in module Common.ReasonableTop: "), std::string::npos);
}

}  // namespace
}  // namespace quillon
