// A second copy of the gateway program refuses to run: it shows its
// message box, opens no link while the box is up, ends after OK without
// saving a window position, and the first copy forwards on undisturbed.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "win32/Win32Settings.h"
#include "windows/support/ChildProcess.h"
#include "windows/support/DdePeers.h"
#include "windows/support/FaultGateway.h"
#include "windows/support/WindowSearch.h"

namespace quillon {
namespace {

using testing::ChildProcess;
using testing::DdePeerProcess;
using testing::FindChildByText;
using testing::FindTopWindow;
using testing::ReadChildren;
using testing::ReadLabels;
using testing::ReadLines;
using testing::ToolsDir;
using testing::WaitUntil;

constexpr const char* kSettingsWindows =
    "Software\\VB and VBA Program Settings\\MRP_Quillon\\Windows";
constexpr DWORD kDeadline = 20000;  // ms

bool Shows(HWND window, const std::string& label) {
    for (const std::string& text : ReadLabels(window)) {
        if (text == label) {
            return true;
        }
    }
    return false;
}

TEST(SecondInstanceTest, SecondCopyShowsItsMessageLinksNothingAndEndsAfterOk) {
    // Both peers up, each noting which process opens a conversation; the
    // decoder publishes 40 values, one every 100 ms, once told to.
    testing::DdeScratchDir dir;
    const std::string received = dir.Path() + "received.txt";
    const std::string decoderClients = dir.Path() + "decoder-clients.txt";
    const std::string loggerClients = dir.Path() + "logger-clients.txt";
    const std::string go = testing::UniqueEventName("QuillonSecondCopyGo");
    DdePeerProcess logger;
    ASSERT_TRUE(logger.Start(ToolsDir() + "logger_sim.exe",
                             {"--out", received, "--connect-log", loggerClients}));
    DdePeerProcess decoder;
    ASSERT_TRUE(decoder.Start(ToolsDir() + "decoder_sim.exe",
                              {"--connect-log", decoderClients, "--start-event", go, "--interval",
                               "100", "--numbered", "40"}));

    ChildProcess first(testing::GatewayExePath());
    ASSERT_TRUE(first.Started());
    HWND firstWindow = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            firstWindow = FindTopWindow(first.Id(), "MRP_Quillon.MainWindow");
            return firstWindow != nullptr && ::IsWindowVisible(firstWindow);
        },
        kDeadline));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Shows(firstWindow, "MRP status: connected to MRP40") &&
                   Shows(firstWindow, "Palavan status: connected");
        },
        kDeadline));
    ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsWindows, "MRP_UIWindowState");

    ChildProcess second(testing::GatewayExePath());
    ASSERT_TRUE(second.Started());
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            box = FindTopWindow(second.Id(), "#32770", "MRP_Quillon");
            return box != nullptr && ::IsWindowVisible(box);
        },
        kDeadline));
    EXPECT_NE(FindChildByText(box, "MRP_Quillon is already running on this PC"), nullptr);
    int buttons = 0;
    for (const auto& child : ReadChildren(box)) {
        if (child.visible && _stricmp(child.className.c_str(), "Button") == 0) {
            ++buttons;
        }
        if (child.visible && _stricmp(child.className.c_str(), "Static") == 0 &&
            (::GetWindowLongPtrA(child.window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            // The box may keep an icon control; without an icon flag it holds none.
            DWORD_PTR icon = 0;
            ::SendMessageTimeoutA(child.window, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
            EXPECT_EQ(icon, 0u) << "the message shows an icon";
        }
    }
    EXPECT_EQ(buttons, 1);
    // The second copy never opened its own main window.
    EXPECT_FALSE(::IsWindowVisible(FindTopWindow(second.Id(), "MRP_Quillon.MainWindow")));

    // The box stays up for 3 s while the decoder publishes: its message
    // loop runs all that time.
    testing::SignalEvent(go);
    testing::PumpFor(3000);
    ASSERT_TRUE(::IsWindowVisible(box));
    const HWND ok = ::GetDlgItem(box, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(testing::WindowText(ok), "OK");
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));

    ASSERT_TRUE(second.WaitForExit(kDeadline));
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(::IsWindowVisible(firstWindow));

    // Every value reached the logger once, in order, through the first copy
    // alone: each peer saw one conversation, and it was the first copy's.
    std::vector<std::string> expected;
    for (int n = 1; n <= 40; ++n) {
        char value[32];
        std::snprintf(value, sizeof value, "006displaycw#%06d", n);
        expected.push_back(value);
    }
    EXPECT_TRUE(
        WaitUntil([&] { return ReadLines(received).size() >= expected.size(); }, kDeadline));
    testing::PumpFor(500);
    EXPECT_EQ(ReadLines(received), expected);
    const std::vector<std::string> firstOnly = {std::to_string(first.Id())};
    EXPECT_EQ(ReadLines(decoderClients), firstOnly);
    EXPECT_EQ(ReadLines(loggerClients), firstOnly);
    EXPECT_EQ(win32::Win32Settings().GetSetting("MRP_Quillon", "Windows", "MRP_UIWindowState",
                                                "<absent>"),
              "<absent>");  // no position saved by the second copy

    ::PostMessageA(firstWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(first.WaitForExit(kDeadline));
}

}  // namespace
}  // namespace quillon
