#include <gtest/gtest.h>
#include <windows.h>

#include <iostream>
#include <vector>

#include "base/RuntimeError.h"
#include "win32/Win32Monitors.h"

namespace quillon::win32 {
namespace {

std::vector<PixelRect> AllMonitors(Win32Monitors& monitors) {
    std::vector<PixelRect> found;
    EXPECT_TRUE(monitors.EnumDisplayMonitors([&](const PixelRect& rect) {
        found.push_back(rect);
        return true;
    }));
    return found;
}

TEST(MonitorsTest, EnumeratesWhatTheSystemReports) {
    Win32Monitors monitors;
    const std::vector<PixelRect> found = AllMonitors(monitors);
    std::cout << "monitors seen: " << found.size() << '\n';
    for (const PixelRect& r : found) {
        std::cout << "  (" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom
                  << ")\n";
    }
    ASSERT_GE(found.size(), 1u);
    EXPECT_EQ(found.size(), static_cast<size_t>(::GetSystemMetrics(SM_CMONITORS)));

    // Exactly one monitor is the primary one, with its corner at (0, 0) and
    // the primary screen's size.
    int primaries = 0;
    for (const PixelRect& r : found) {
        EXPECT_LT(r.left, r.right);
        EXPECT_LT(r.top, r.bottom);
        if (r.left == 0 && r.top == 0) {
            ++primaries;
            EXPECT_EQ(r.right, ::GetSystemMetrics(SM_CXSCREEN));
            EXPECT_EQ(r.bottom, ::GetSystemMetrics(SM_CYSCREEN));
        }
    }
    EXPECT_EQ(primaries, 1);
}

TEST(MonitorsTest, CallbackCanStopTheEnumerationAndItsErrorsComeBack) {
    Win32Monitors monitors;
    int calls = 0;
    monitors.EnumDisplayMonitors([&](const PixelRect&) {
        ++calls;
        return false;
    });
    EXPECT_EQ(calls, 1);

    calls = 0;
    try {
        monitors.EnumDisplayMonitors([&](const PixelRect&) -> bool {
            ++calls;
            Raise(kErrOverflow);
        });
        ADD_FAILURE() << "the callback's error was lost";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrOverflow);
    }
    EXPECT_EQ(calls, 1);
}

TEST(MonitorsTest, MonitorFromRectFindsOnlyRectanglesOnAMonitor) {
    Win32Monitors monitors;
    EXPECT_NE(monitors.MonitorFromRect({96, 48, 416, 208}), 0u);
    // Partly on the primary monitor.
    EXPECT_NE(monitors.MonitorFromRect({-300, 10, 1, 20}), 0u);
    EXPECT_EQ(monitors.MonitorFromRect({-100000, -100000, -99000, -99000}), 0u);
    EXPECT_EQ(monitors.MonitorFromRect({100000, 100000, 100400, 100300}), 0u);
}

TEST(MonitorsTest, ScreenSizeIsInTwipsOfTheLogicalInch) {
    Win32Monitors monitors;
    HDC screen = ::GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    const int dpiX = ::GetDeviceCaps(screen, LOGPIXELSX);
    const int dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    std::cout << "screen: " << ::GetSystemMetrics(SM_CXSCREEN) << " x "
              << ::GetSystemMetrics(SM_CYSCREEN) << " pixels at " << dpiX << " x " << dpiY
              << " dpi = " << monitors.ScreenWidthTwips() << " x " << monitors.ScreenHeightTwips()
              << " twips\n";
    EXPECT_FLOAT_EQ(monitors.ScreenWidthTwips(),
                    static_cast<float>(::GetSystemMetrics(SM_CXSCREEN) * 1440.0 / dpiX));
    EXPECT_FLOAT_EQ(monitors.ScreenHeightTwips(),
                    static_cast<float>(::GetSystemMetrics(SM_CYSCREEN) * 1440.0 / dpiY));
    if (dpiX == 96) {
        EXPECT_FLOAT_EQ(monitors.ScreenWidthTwips(),
                        static_cast<float>(::GetSystemMetrics(SM_CXSCREEN) * 15));
    }
}

}  // namespace
}  // namespace quillon::win32
