// A second copy of the gateway program refuses to run: it shows its
// message box, ends after OK without saving a window position, and the
// first copy runs on.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "win32/Win32Settings.h"
#include "windows/support/ChildProcess.h"
#include "windows/support/WindowSearch.h"

namespace quillon {
namespace {

using testing::ChildProcess;
using testing::FindChildByText;
using testing::FindTopWindow;
using testing::ReadChildren;
using testing::WaitUntil;

constexpr const char* kSettingsWindows =
    "Software\\VB and VBA Program Settings\\MRP_Quillon\\Windows";
constexpr DWORD kDeadline = 20000;  // ms

TEST(SecondInstanceTest, SecondCopyShowsItsMessageAndEndsAfterOk) {
    ChildProcess first(testing::GatewayExePath());
    ASSERT_TRUE(first.Started());
    HWND firstWindow = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            firstWindow = FindTopWindow(first.Id(), "MRP_Quillon.MainWindow");
            return firstWindow != nullptr && ::IsWindowVisible(firstWindow);
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

    const HWND ok = ::GetDlgItem(box, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(testing::WindowText(ok), "OK");
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));

    ASSERT_TRUE(second.WaitForExit(kDeadline));
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(::IsWindowVisible(firstWindow));
    EXPECT_EQ(win32::Win32Settings().GetSetting("MRP_Quillon", "Windows", "MRP_UIWindowState",
                                                "<absent>"),
              "<absent>");  // no position saved by the second copy

    ::PostMessageA(firstWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(first.WaitForExit(kDeadline));
}

}  // namespace
}  // namespace quillon
