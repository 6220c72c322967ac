// The gateway window's placement, end to end: MRP_Quillon.exe is started with
// a stored record in the settings store, its window is measured, closed with
// WM_CLOSE, and the record it saved is read back. At 96 dpi a pixel is 15
// twips.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "windows/support/Gateway.h"
#include "windows/support/ScratchKey.h"

namespace quillon::testing {
namespace {

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

class PlacementTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(ScreenDpi(), 96) << "the expected pixels assume 15 twips per pixel";
    }

    // A stored record, and the run of the gateway that reads it.
    void StartWith(const std::string& left, const std::string& top, const std::string& state,
                   const std::string& dualMonitor) {
        settings_.Clear();
        settings_.Put("MRP_UILeft", left);
        settings_.Put("MRP_UITop", top);
        settings_.Put("MRP_UIWindowState", state);
        settings_.Put("DualMonitor", dualMonitor);
        ASSERT_TRUE(gateway_.Start());
    }

    ScratchKey settings_{GatewaySection("Windows")};
    Gateway gateway_;
};

TEST_F(PlacementTest, StoredTwipsBecomePixelsAndTheCloseSavesThemBack) {
    StartWith("1500", "3000", "0", "False");
    const RECT rect = gateway_.Rect();
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 200);
    EXPECT_FALSE(::IsZoomed(gateway_.Window()));
    EXPECT_FALSE(::IsIconic(gateway_.Window()));
    ASSERT_TRUE(gateway_.Close());
    EXPECT_EQ(settings_.Get("MRP_UILeft"), "1500");
    EXPECT_EQ(settings_.Get("MRP_UITop"), "3000");
    EXPECT_EQ(settings_.Get("MRP_UIWidth"), std::to_string((rect.right - rect.left) * 15));
    EXPECT_EQ(settings_.Get("MRP_UIHeight"), std::to_string((rect.bottom - rect.top) * 15));
    EXPECT_EQ(settings_.Get("MRP_UIWindowState"), "0");
}

TEST_F(PlacementTest, MaximisedWindowReopensMaximisedAndSavesItsNormalRectangle) {
    StartWith("1500", "3000", "2", "False");
    EXPECT_TRUE(::IsZoomed(gateway_.Window()));
    ASSERT_TRUE(gateway_.Close());
    EXPECT_EQ(settings_.Get("MRP_UIWindowState"), "2");
    EXPECT_EQ(settings_.Get("MRP_UILeft"), "1500");
    EXPECT_EQ(settings_.Get("MRP_UITop"), "3000");
}

TEST_F(PlacementTest, MinimisedWindowReopensMinimisedAndSavesItsNormalRectangle) {
    StartWith("3000", "1500", "1", "False");
    EXPECT_TRUE(::IsIconic(gateway_.Window()));
    ASSERT_TRUE(gateway_.Close());
    EXPECT_EQ(settings_.Get("MRP_UIWindowState"), "1");
    EXPECT_EQ(settings_.Get("MRP_UILeft"), "3000");
    EXPECT_EQ(settings_.Get("MRP_UITop"), "1500");
}

TEST_F(PlacementTest, SingleMonitorBringsAnOffScreenWindowBackToTheEdge) {
    StartWith("-15000", "600", "0", "False");
    EXPECT_EQ(gateway_.Rect().left, 0);
    EXPECT_EQ(gateway_.Rect().top, 40);
    ASSERT_TRUE(gateway_.Close());
    EXPECT_EQ(settings_.Get("MRP_UILeft"), "0");
}

TEST_F(PlacementTest, DualMonitorPutsAWindowOfAMissingMonitorOnTheCascade) {
    StartWith("-60000", "600", "0", "True");
    EXPECT_EQ(gateway_.Rect().left, 24);  // 360 twips
    EXPECT_EQ(gateway_.Rect().top, 24);
    ASSERT_TRUE(gateway_.Close());
    EXPECT_EQ(settings_.Get("MRP_UILeft"), "360");
    EXPECT_EQ(settings_.Get("MRP_UITop"), "360");
}

TEST_F(PlacementTest, DualMonitorKeepsAWindowThatTouchesAPresentMonitor) {
    StartWith("-1500", "-300", "0", "True");
    EXPECT_EQ(gateway_.Rect().left, -100);
    EXPECT_EQ(gateway_.Rect().top, -20);
    ASSERT_TRUE(gateway_.Close());
    EXPECT_EQ(settings_.Get("MRP_UILeft"), "-1500");
}

// Signing out, restarting or shutting down: Windows asks with
// WM_QUERYENDSESSION, tells the outcome with WM_ENDSESSION and, when the
// session does end, ends the process as soon as that message returns, so
// the close must have run by then. The test sends both messages itself
// (wineboot --end-session leaves the process running afterwards) and ends
// the process at once; thousands of posted messages wait ahead of anything
// the handler might only post, so that cannot run before the end under
// Wine either. The stored state 7 is refused with a logged error, so the
// log gets its shutdown line.
TEST_F(PlacementTest, TheEndOfTheSessionSavesTheWindowAndLogsTheShutdownAsACloseDoes) {
    StartWith("-15000", "600", "7", "False");
    auto send = [&](UINT message, WPARAM wParam) {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutA(gateway_.Window(), message, wParam, 0, SMTO_NORMAL, kDeadlineMs,
                              &result);
        return result;
    };
    EXPECT_EQ(send(WM_QUERYENDSESSION, 0), static_cast<DWORD_PTR>(TRUE));
    send(WM_ENDSESSION, FALSE);  // called off by another program
    EXPECT_TRUE(gateway_.Responds());
    EXPECT_EQ(settings_.Get("MRP_UILeft"), "-15000") << "a session end that was called off closed";

    send(WM_QUERYENDSESSION, 0);
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(::PostMessageA(gateway_.Window(), WM_NULL, 0, 0));
    }
    send(WM_ENDSESSION, TRUE);
    gateway_.Process()->Kill();
    EXPECT_EQ(settings_.Get("MRP_UILeft"), "0");
    EXPECT_EQ(settings_.Get("MRP_UIWindowState"), "0");
    EXPECT_EQ(CountOf(gateway_.ErrorLog(), " > Common.Terminate: MRP_Quillon shutdown\r\n"), 1)
        << gateway_.ErrorLog();
}

// Moved as a drag moves it (SetWindowPos), the window is where the next
// start puts it.
TEST_F(PlacementTest, AWindowMovedDuringARunReopensWhereItWasLeft) {
    StartWith("1500", "3000", "0", "False");
    auto corner = [&] {
        const RECT rect = gateway_.Rect();
        return std::to_string(rect.left) + "," + std::to_string(rect.top);
    };
    ASSERT_EQ(corner(), "100,200");
    ::SetWindowPos(gateway_.Window(), nullptr, 300, 150, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(WaitUntil([&] { return corner() == "300,150"; }, kDeadlineMs)) << corner();
    ASSERT_TRUE(gateway_.Close());

    ASSERT_TRUE(gateway_.Start());
    EXPECT_EQ(corner(), "300,150");
    EXPECT_TRUE(gateway_.Close());
    EXPECT_EQ(settings_.Get("MRP_UILeft"), "4500");
    EXPECT_EQ(settings_.Get("MRP_UITop"), "2250");
}

}  // namespace
}  // namespace quillon::testing
