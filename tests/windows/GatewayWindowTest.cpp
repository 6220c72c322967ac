// The gateway program as the user meets it: started as its own process, its
// window, labels, version record and closing. Then the main window adapter
// in this process: its design, the shared table of what every window does
// with its rectangle and state (contract/FormContract.h), and its timers.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>

#include "base/RuntimeError.h"
#include "contract/FormContract.h"
#include "win32/Win32MainWindow.h"
#include "win32/Win32Process.h"
#include "win32/Win32Settings.h"
#include "win32/Win32Timer.h"
#include "windows/support/ChildProcess.h"
#include "windows/support/WindowSearch.h"

namespace quillon {
namespace {

using testing::ChildProcess;
using testing::FindChildByText;
using testing::FindTopWindow;
using testing::HasVisibleStyle;
using testing::ReadLabels;
using testing::WaitUntil;
using testing::WindowText;

constexpr const char* kMainWindowClass = "MRP_Quillon.MainWindow";
constexpr DWORD kDeadline = 20000;  // ms; generous for a loaded machine

std::string Setting(const std::string& section, const std::string& key) {
    return win32::Win32Settings().GetSetting("MRP_Quillon", section, key, "<absent>");
}

TEST(GatewayProgramTest, ShowsItsLinksAndClosesCleanly) {
    ::RegDeleteKeyValueA(HKEY_CURRENT_USER,
                         "Software\\VB and VBA Program Settings\\MRP_Quillon\\General", "Version");
    ::RegDeleteKeyValueA(HKEY_CURRENT_USER,
                         "Software\\VB and VBA Program Settings\\MRP_Quillon\\Windows",
                         "MRP_UIWindowState");
    ChildProcess gateway(testing::GatewayExePath());
    ASSERT_TRUE(gateway.Started()) << testing::GatewayExePath();

    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            window = FindTopWindow(gateway.Id(), kMainWindowClass);
            return window != nullptr && ::IsWindowVisible(window);
        },
        kDeadline));
    // The load handler sets the labels before the window is shown; the
    // first connection attempt follows half a second later.
    const auto firstLabels = ReadLabels(window);
    EXPECT_EQ(WindowText(window), "MRP-Ledgerly Gateway 1.0.2");
    ASSERT_EQ(firstLabels.size(), 2u);
    EXPECT_EQ(firstLabels[0], "MRP status: unknown");
    EXPECT_EQ(firstLabels[1], "Palavan status: unknown");
    EXPECT_EQ(Setting("General", "Version"), "102");

    // No decoder and no command server run here.
    const std::vector<std::string> notResponding{"MRP status: not responding",
                                                 "Palavan status: not responding"};
    EXPECT_TRUE(WaitUntil([&] { return ReadLabels(window) == notResponding; }, kDeadline))
        << "labels: " << ::testing::PrintToString(ReadLabels(window));
    const HWND errorLogLabel = FindChildByText(window, "see ErrorLog");
    ASSERT_NE(errorLogLabel, nullptr);
    EXPECT_FALSE(HasVisibleStyle(errorLogLabel));

    ::PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(gateway.WaitForExit(kDeadline));
    EXPECT_EQ(gateway.ExitCode(), 0u);
    EXPECT_EQ(Setting("Windows", "MRP_UIWindowState"), "0");  // the unload saved the position
}

// The main window adapter itself, in this process.
class MainWindowTest : public ::testing::Test {
  protected:
    static win32::FormDesign Design() {
        win32::FormDesign design;
        design.className = "MainWindowTest.Window";
        design.name = "TestForm";
        design.caption = "MainWindowTest";
        design.clientWidthTwips = 4380;
        design.clientHeightTwips = 1305;
        return design;
    }
    static void Pump() {
        MSG message{};
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageA(&message);
        }
    }
    win32::Win32MainWindow form_{Design()};
};

TEST_F(MainWindowTest, ClientAreaIsTheDesignInTwips) {
    const int dpi = form_.LogicalPixelsX();
    ASSERT_GT(dpi, 0);
    RECT client{};
    ::GetClientRect(form_.Handle(), &client);
    EXPECT_EQ(client.right, (4380 * dpi + 720) / 1440);
    EXPECT_EQ(form_.Name(), "TestForm");
    EXPECT_EQ(form_.GetBorderStyle(), kBorderFixedSingle);
}

TEST_F(MainWindowTest, KeepsTheFormContract) {
    form_.Show();
    Pump();
    contract::RunFormContract(form_, &Pump);
    RECT outer{};
    ::GetWindowRect(form_.Handle(), &outer);
    EXPECT_EQ(outer.left, 120) << "twips are pixels of the screen";
    EXPECT_EQ(outer.bottom - outer.top, 200);
}

TEST_F(MainWindowTest, StateSetWhileHiddenIsAppliedWhenShown) {
    EXPECT_FALSE(form_.Visible());
    form_.SetWindowState(kStateMaximized);
    EXPECT_EQ(form_.GetWindowState(), kStateMaximized);
    EXPECT_FALSE(form_.Visible());
    form_.Show();
    Pump();
    EXPECT_TRUE(form_.Visible());
    EXPECT_TRUE(::IsZoomed(form_.Handle()));
    EXPECT_EQ(form_.GetWindowState(), kStateMaximized);
}

TEST_F(MainWindowTest, LengthBeyondAnyScreenRaises380) {
    try {
        form_.SetWidth(1e30f);
        ADD_FAILURE() << "width 1e30 accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrInvalidPropertyValue);
    }
}

TEST_F(MainWindowTest, TimerTicksOnlyWhileEnabledAndNeverInsideItself) {
    win32::Win32Timer timer(form_);
    win32::Win32Process process("Local\\MainWindowTest.Timer");
    int ticks = 0;
    int depth = 0;
    int deepest = 0;
    timer.SetTickHandler([&] {
        ++ticks;
        deepest = std::max(deepest, ++depth);
        // Like a connection attempt: outlast the interval, then pump.
        ::Sleep(60);
        process.DoEvents();
        --depth;
    });
    timer.SetInterval(20);
    timer.SetEnabled(true);
    EXPECT_TRUE(WaitUntil(
        [&] {
            process.DoEvents();
            return ticks >= 3;
        },
        kDeadline));
    EXPECT_EQ(deepest, 1);

    timer.SetEnabled(false);
    const int ticksWhenDisabled = ticks;
    ::Sleep(100);
    process.DoEvents();
    EXPECT_EQ(ticks, ticksWhenDisabled);
}

}  // namespace
}  // namespace quillon
