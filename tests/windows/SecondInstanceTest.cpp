// A second copy of the gateway program refuses to run: it shows its
// message box, opens no link while the box is up, ends after OK without
// saving a window position, and the first copy forwards on undisturbed.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ports/ProgramIdentity.h"
#include "windows/support/Gateway.h"
#include "windows/support/ScratchKey.h"
#include "windows/support/StatusTexts.h"

namespace quillon::testing {
namespace {

TEST(SecondInstanceTest, SecondCopyShowsItsMessageLinksNothingAndEndsAfterOk) {
    // Both peers up, each noting which process opens a conversation; the
    // decoder publishes 40 values, one every 100 ms, once told to.
    Gateway first;
    const std::string received = "received.txt";
    const std::string decoderClients = first.Folder() + "decoder-clients.txt";
    const std::string loggerClients = first.Folder() + "logger-clients.txt";
    const HeldEvent go("QuillonSecondCopyGo");
    ChildProcess logger;
    ASSERT_TRUE(first.StartLogger(logger, received, {"--connect-log", loggerClients}));
    ChildProcess decoder;
    ASSERT_TRUE(first.StartDecoder(decoder, {"--connect-log", decoderClients, "--start-event",
                                             go.Name(), "--interval", "100", "--numbered", "40"}));

    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.WaitMrp(kMrpConnected)) << first.Mrp();
    ASSERT_TRUE(first.WaitPalavan(kPalavanConnected)) << first.Palavan();
    const HWND firstWindow = first.Window();
    const ScratchKey windows(GatewaySection("Windows"));

    ChildProcess second(first.ExePath());
    ASSERT_TRUE(second.Started());
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            box = FindTopWindow(second.Id(), "#32770", "MRP_Quillon");
            return box != nullptr && ::IsWindowVisible(box);
        },
        kDeadlineMs));
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
    EXPECT_FALSE(::IsWindowVisible(FindTopWindow(second.Id(), identity::kWindowClass)));

    // The box stays up for 3 s while the decoder publishes: its message
    // loop runs all that time.
    go.Set();
    PumpFor(3000);
    ASSERT_TRUE(::IsWindowVisible(box));
    const HWND ok = ::GetDlgItem(box, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(WindowText(ok), "OK");
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));

    ASSERT_TRUE(second.WaitForExit(kDeadlineMs));
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
        WaitUntil([&] { return first.Received(received).size() >= expected.size(); }, kDeadlineMs));
    PumpFor(500);
    EXPECT_EQ(first.Received(received), expected);
    const std::vector<std::string> firstOnly = {std::to_string(first.Process()->Id())};
    EXPECT_EQ(ReadLines(decoderClients), firstOnly);
    EXPECT_EQ(ReadLines(loggerClients), firstOnly);
    EXPECT_EQ(windows.Get("MRP_UIWindowState"),
              "<absent>");  // no position saved by the second copy

    EXPECT_TRUE(first.Close());
}

}  // namespace
}  // namespace quillon::testing
