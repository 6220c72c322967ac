#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ErrorLog.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeForm.h"
#include "fakes/FakeLog.h"
#include "fakes/FakeMonitors.h"
#include "fakes/FakeNumbers.h"
#include "fakes/FakeProcess.h"
#include "fakes/FakeProgramInfo.h"
#include "fakes/FakeSettings.h"
#include "placement/WindowPositionStore.h"

namespace quillon {
namespace {

// Records the keys exactly as the store is asked for them.
class RecordingSettings : public fakes::FakeSettings {
  public:
    std::vector<std::string> reads, writes;
    int failFromWrite = -1;  // the index of the first write that fails
    std::string GetSetting(const std::string& application, const std::string& section,
                           const std::string& key, const std::string& defaultValue) override {
        reads.push_back(section + "\\" + key);
        return FakeSettings::GetSetting(application, section, key, defaultValue);
    }
    void SaveSetting(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& value) override {
        if (failFromWrite >= 0 && static_cast<int>(writes.size()) >= failFromWrite) {
            Raise(kErrPermissionDenied);
        }
        writes.push_back(section + "\\" + key + "=" + value);
        FakeSettings::SaveSetting(application, section, key, value);
    }
};

struct StoreFixture : ::testing::Test, fakes::FakeLog {
    RecordingSettings store;
    fakes::FakeNumbers numbers;
    fakes::FakeProgramInfo program;
    Settings settings{store, numbers, program, log};
    fakes::FakeMonitors monitors;
    fakes::FakeProcess process;
    PlacementState placement;
    ReasonableBounds bounds{monitors, placement, log};
    WindowPositionStore positions{settings, bounds, monitors, process, program, placement, log};
    fakes::FakeForm form;

    void Store(int32_t left, int32_t top, int32_t width, int32_t height) {
        store.Put("Windows", "MRP_UILeft", std::to_string(left));
        store.Put("Windows", "MRP_UITop", std::to_string(top));
        store.Put("Windows", "MRP_UIWidth", std::to_string(width));
        store.Put("Windows", "MRP_UIHeight", std::to_string(height));
    }
    void ExpectNormalRect(const fakes::FakeForm& f, float left, float top, float width,
                          float height) {
        EXPECT_EQ(f.left, left);
        EXPECT_EQ(f.top, top);
        EXPECT_EQ(f.width, width);
        EXPECT_EQ(f.height, height);
    }
};

TEST_F(StoreFixture, NoStoredRecordKeepsTheDesignRectangleInTheNormalState) {
    form.state = kStateMaximized;
    positions.RestoreWindowPosition(form);
    ExpectNormalRect(form, 1200, 900, 6000, 3000);
    EXPECT_EQ(form.state, kStateNormal);
    EXPECT_EQ(store.reads, (std::vector<std::string>{
                               "Windows\\MRP_UILeft", "Windows\\MRP_UITop", "Windows\\MRP_UIWidth",
                               "Windows\\MRP_UIHeight", "Windows\\MRP_UIWindowstate"}));
    EXPECT_EQ(Text(), "");
}

TEST_F(StoreFixture, MaximisedWindowSavesItsNormalRectangleAndReopensMaximised) {
    form.left = 1500;
    form.top = 1005;
    form.width = 7000;
    form.height = 4000;
    form.state = kStateMaximized;
    positions.SaveWindowPosition(form);
    EXPECT_EQ(store.writes,
              (std::vector<std::string>{"Windows\\MRP_UIWindowState=2", "Windows\\MRP_UILeft=1500",
                                        "Windows\\MRP_UITop=1005", "Windows\\MRP_UIHeight=4000",
                                        "Windows\\MRP_UIWidth=7000"}));
    EXPECT_EQ(form.statesSet, (std::vector<int16_t>{kStateNormal, kStateMaximized}));
    EXPECT_EQ(process.doEvents, 1);
    EXPECT_EQ(process.sleeps, 0);

    fakes::FakeForm next;
    positions.RestoreWindowPosition(next);
    ExpectNormalRect(next, 1500, 1005, 7000, 4000);
    EXPECT_EQ(next.statesSet, (std::vector<int16_t>{kStateNormal, kStateMaximized}));
    EXPECT_EQ(Text(), "");
}

TEST_F(StoreFixture, SaveWaitsBoundedlyForAMinimisedWindowToShow) {
    form.state = kStateMinimized;
    form.invisibleReads = 3;
    positions.SaveWindowPosition(form);
    EXPECT_EQ(process.sleeps, 3);
    EXPECT_EQ(process.sleptMilliseconds, 3u);
    EXPECT_EQ(process.doEvents, 4);
    EXPECT_EQ(store.Get("Windows", "MRP_UILeft"), "1200");
    EXPECT_EQ(store.Get("Windows", "MRP_UIWindowState"), "1");
    EXPECT_EQ(form.state, kStateMinimized);

    // A window that never reports itself visible holds the save up for ten
    // sleeps at most.
    fakes::FakeProcess patient;
    WindowPositionStore other{settings, bounds, monitors, patient, program, placement, log};
    form.visible = false;
    other.SaveWindowPosition(form);
    EXPECT_EQ(patient.sleeps, 10);
    EXPECT_EQ(patient.doEvents, 11);
}

TEST_F(StoreFixture, NormalWindowIsSavedWithoutPumpingMessages) {
    positions.SaveWindowPosition(form);
    EXPECT_EQ(process.doEvents, 0);
    EXPECT_TRUE(form.statesSet == std::vector<int16_t>{kStateNormal});
    EXPECT_EQ(store.Get("Windows", "MRP_UIWidth"), "6000");
}

TEST_F(StoreFixture, LengthsAreStoredAsWholeTwips) {
    EXPECT_EQ(WindowPositionStore::LengthText(28800.0f), "28800");
    EXPECT_EQ(WindowPositionStore::LengthText(-48000.0f), "-48000");
    EXPECT_EQ(WindowPositionStore::LengthText(0.0f), "0");
    // What the locale-aware reader would have made of the fraction.
    EXPECT_EQ(WindowPositionStore::LengthText(1234.5f), "1234");
    EXPECT_EQ(WindowPositionStore::LengthText(1235.5f), "1236");
    EXPECT_EQ(WindowPositionStore::LengthText(1235.25f), "1235");
}

TEST_F(StoreFixture, FixedBorderKeepsItsDesignSizeButNotItsPosition) {
    form.borderStyle = kBorderFixedDialog;
    Store(2000, 3000, 99999, 99999);
    positions.RestoreWindowPosition(form);
    ExpectNormalRect(form, 2000, 3000, 6000, 3000);

    fakes::FakeForm tool;
    tool.borderStyle = kBorderSizableToolWindow;
    positions.RestoreWindowPosition(tool);
    ExpectNormalRect(tool, 2000, 3000, 14400, 8100);
}

TEST_F(StoreFixture, SingleMonitorPullsAnOffScreenEdgeBackToZero) {
    Store(-15000, 20000, 6000, 3000);
    positions.RestoreWindowPosition(form);
    EXPECT_EQ(form.left, 0);
    EXPECT_EQ(form.top, 0);  // 20000 is below 95% of 16200

    Store(20000, 15000, 6000, 3000);
    positions.RestoreWindowPosition(form);
    EXPECT_EQ(form.left, 20000);
    EXPECT_EQ(form.top, 15000);
    EXPECT_TRUE(monitors.askedRects.empty());
}

TEST_F(StoreFixture, DualMonitorTestsThePixelRectangleAt96Dpi) {
    placement.DualMonitor = true;
    Store(1440, 720, 4800, 2400);
    positions.RestoreWindowPosition(form);
    ASSERT_EQ(monitors.askedRects.size(), 1u);
    const PixelRect& r = monitors.askedRects[0];
    EXPECT_EQ(r.left, 96);
    EXPECT_EQ(r.top, 48);
    EXPECT_EQ(r.right, 416);
    EXPECT_EQ(r.bottom, 208);
    ExpectNormalRect(form, 1440, 720, 4800, 2400);
}

TEST_F(StoreFixture, PixelRectangleRoundsHalvesToEven) {
    placement.DualMonitor = true;
    form.dpiX = 144;
    form.dpiY = 144;
    Store(25, 15, 10, 10);  // 2.5, 1.5, 3.5, 2.5 pixels
    positions.RestoreWindowPosition(form);
    ASSERT_EQ(monitors.askedRects.size(), 1u);
    const PixelRect& r = monitors.askedRects[0];
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right, 4);
    EXPECT_EQ(r.bottom, 2);
}

TEST_F(StoreFixture, DualMonitorKeepsARectanglePartlyOnAPresentMonitor) {
    placement.DualMonitor = true;
    Store(-28000, 15000, 28800, 6000);  // one pixel column on the primary
    positions.RestoreWindowPosition(form);
    ExpectNormalRect(form, -28000, 15000, 28800, 6000);
    EXPECT_EQ(placement.CascadeLeft, 0);
}

TEST_F(StoreFixture, DualMonitorCascadesWindowsOfARemovedMonitor) {
    placement.DualMonitor = true;
    Store(-15000, 1000, 6000, -1);  // the monitor to the left is gone
    positions.RestoreWindowPosition(form);
    ExpectNormalRect(form, 360, 360, 6000, 8100);

    fakes::FakeForm second;
    second.name = "Other";
    store.Put("Windows", "OtherLeft", "40000");
    positions.RestoreWindowPosition(second);
    EXPECT_EQ(second.left, 720);
    EXPECT_EQ(second.top, 720);
    EXPECT_EQ(placement.CascadeLeft, 720);
    EXPECT_EQ(placement.CascadeTop, 720);
    EXPECT_EQ(Text(), "");
}

TEST_F(StoreFixture, CascadeOverflowIsReportedAndKeepsThePosition) {
    placement.DualMonitor = true;
    placement.CascadeLeft = 32500;
    placement.CascadeTop = 32500;
    Store(-15000, 1000, 5000, 2000);
    store.Put("Windows", "MRP_UIWindowState", "2");
    positions.RestoreWindowPosition(form);
    ExpectNormalRect(form, 1200, 900, 6000, 3000);
    EXPECT_EQ(form.state, kStateNormal);
    EXPECT_EQ(placement.CascadeLeft, 32500);
    EXPECT_EQ(placement.CascadeTop, 32500);
    EXPECT_NE(Text().find("program error 6 in module Common.RestoreWindowPosition: Overflow\r\n"),
              std::string::npos);
}

TEST_F(StoreFixture, StoredStateOutOfRangeIsReportedAfterTheRectangleIsApplied) {
    log.SetDebug(true);
    Store(2000, 3000, 7000, 4000);
    store.Put("Windows", "MRP_UIWindowState", "7");
    positions.RestoreWindowPosition(form);
    ExpectNormalRect(form, 2000, 3000, 7000, 4000);
    EXPECT_EQ(form.state, kStateNormal);
    const std::string text = Text();
    EXPECT_NE(text.find("program error 380 in module Common.RestoreWindowPosition: "),
              std::string::npos);
    EXPECT_EQ(text.find("Common.RestoreWindowPosition: MRP_UI"), std::string::npos);
}

TEST_F(StoreFixture, DebugLinesShowStoredAndRestoredValues) {
    log.SetDebug(true);
    placement.DualMonitor = true;
    Store(-15000, 1000, 6000, 3000);
    store.Put("Windows", "MRP_UIWindowState", "1");
    positions.RestoreWindowPosition(form);
    const std::string text = Text();
    for (const char* line :
         {"> Common.RestoreWindowPosition: MRP_UI, DualMonitor = True\r\n",
          ">    from registry = (-15000, 1000, 6000, 3000)\r\n",
          ">    restored to   = (360, 360, 6000, 3000)\r\n", ">    WindowState   = 1\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

TEST_F(StoreFixture, FailedWriteIsReportedAndLeavesTheWindowNormal) {
    form.state = kStateMaximized;
    store.failFromWrite = 1;  // the state is stored, the left edge is refused
    positions.SaveWindowPosition(form);
    EXPECT_EQ(store.Get("Windows", "MRP_UIWindowState"), "2");
    EXPECT_FALSE(store.Has("Windows", "MRP_UILeft"));
    EXPECT_EQ(form.state, kStateNormal);
    EXPECT_NE(Text().find("program error 70 in module Common.SaveWindowPosition: "),
              std::string::npos);
}

}  // namespace
}  // namespace quillon
