// The gateway program as the user meets it: started as its own process, its
// window, labels, version record and closing. Then the main window adapter
// in this process: its design, the shared table of what every window does
// with its rectangle and state (contract/FormContract.h), and its timers.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

#include "base/RuntimeError.h"
#include "contract/FormContract.h"
#include "win32/Win32MainWindow.h"
#include "win32/Win32Process.h"
#include "win32/Win32Timer.h"
#include "windows/support/Gateway.h"
#include "windows/support/ScratchKey.h"
#include "windows/support/StatusTexts.h"

namespace quillon {
namespace {

using testing::FindChildByText;
using testing::HasVisibleStyle;
using testing::kDeadlineMs;
using testing::ReadLabels;
using testing::WaitUntil;
using testing::WindowText;

// The program's case starts the gateway; the others test its main window
// adapter in this process.
class GatewayWindowTest : public ::testing::Test {
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
    // The adapter's window, made on first use. The program's case makes
    // none: a window here pumps nothing while that case waits, and the
    // gateway's links offer each new conversation to every top-level window.
    win32::Win32MainWindow& Form() {
        if (!form_) {
            form_.emplace(Design());
        }
        return *form_;
    }

  private:
    std::optional<win32::Win32MainWindow> form_;
};

TEST_F(GatewayWindowTest, ShowsItsLinksAndClosesCleanly) {
    const testing::ScratchKey general(testing::GatewaySection("General"));
    const testing::ScratchKey windows(testing::GatewaySection("Windows"));
    testing::Gateway gateway;
    ASSERT_TRUE(gateway.Start());
    const HWND window = gateway.Window();
    EXPECT_EQ(WindowText(window), testing::kCaption);
    char className[64] = {};
    ::GetClassNameA(window, className, sizeof className);
    // Installers, old ones too, find a running copy by its class.
    EXPECT_STREQ(className, "MRP_Quillon.MainWindow");
    EXPECT_EQ(general.Get("Version"), "102");

    // The load sets the labels to "unknown" before the window is shown; the
    // first connection attempt, half a second later, changes them. How soon
    // this test reads them is not bounded, so either is accepted. No
    // decoder and no command server run here.
    const auto firstLabels = ReadLabels(window);
    ASSERT_EQ(firstLabels.size(), 2u);
    EXPECT_TRUE(firstLabels[0] == testing::kMrpUnknown ||
                firstLabels[0] == testing::kMrpNotResponding)
        << firstLabels[0];
    EXPECT_TRUE(firstLabels[1] == testing::kPalavanUnknown ||
                firstLabels[1] == testing::kPalavanNotResponding)
        << firstLabels[1];
    const std::vector<std::string> notResponding{testing::kMrpNotResponding,
                                                 testing::kPalavanNotResponding};
    EXPECT_TRUE(WaitUntil([&] { return ReadLabels(window) == notResponding; }, kDeadlineMs))
        << "labels: " << ::testing::PrintToString(ReadLabels(window));
    const HWND errorLogLabel = FindChildByText(window, "see ErrorLog");
    ASSERT_NE(errorLogLabel, nullptr);
    EXPECT_FALSE(HasVisibleStyle(errorLogLabel));

    ASSERT_TRUE(gateway.Close());
    EXPECT_EQ(gateway.Process()->ExitCode(), 0u);
    EXPECT_EQ(windows.Get("MRP_UIWindowState"), "0");  // the unload saved the position
}

TEST_F(GatewayWindowTest, ClientAreaIsTheDesignInTwips) {
    const int dpi = Form().LogicalPixelsX();
    ASSERT_GT(dpi, 0);
    RECT client{};
    ::GetClientRect(Form().Handle(), &client);
    EXPECT_EQ(client.right, (4380 * dpi + 720) / 1440);
    EXPECT_EQ(Form().Name(), "TestForm");
    EXPECT_EQ(Form().GetBorderStyle(), kBorderFixedSingle);
}

TEST_F(GatewayWindowTest, KeepsTheFormContract) {
    Form().Show();
    Pump();
    contract::RunFormContract(Form(), &Pump);
    RECT outer{};
    ::GetWindowRect(Form().Handle(), &outer);
    EXPECT_EQ(outer.left, 120) << "twips are pixels of the screen";
    EXPECT_EQ(outer.bottom - outer.top, 200);
}

TEST_F(GatewayWindowTest, StateSetWhileHiddenIsAppliedWhenShown) {
    EXPECT_FALSE(Form().Visible());
    Form().SetWindowState(kStateMaximized);
    EXPECT_EQ(Form().GetWindowState(), kStateMaximized);
    EXPECT_FALSE(Form().Visible());
    Form().Show();
    Pump();
    EXPECT_TRUE(Form().Visible());
    EXPECT_TRUE(::IsZoomed(Form().Handle()));
    EXPECT_EQ(Form().GetWindowState(), kStateMaximized);
}

TEST_F(GatewayWindowTest, LengthBeyondAnyScreenRaises380) {
    try {
        Form().SetWidth(1e30f);
        ADD_FAILURE() << "width 1e30 accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), kErrInvalidPropertyValue);
    }
}

TEST_F(GatewayWindowTest, TimerTicksOnlyWhileEnabledAndNeverInsideItself) {
    win32::Win32Timer timer(Form());
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
        kDeadlineMs));
    EXPECT_EQ(deepest, 1);

    timer.SetEnabled(false);
    const int ticksWhenDisabled = ticks;
    ::Sleep(100);
    process.DoEvents();
    EXPECT_EQ(ticks, ticksWhenDisabled);
}

}  // namespace
}  // namespace quillon
