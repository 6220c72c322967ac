// Stored settings that are malformed, one at a time, and fifty starts and
// closes in a row. Each malformed value falls back as the typed getters
// say (the default is the window's current value, so a bad position keeps
// the design position), the window opens on the primary screen, and the
// record saved on close is whole.

#include <gtest/gtest.h>
#include <windows.h>
// tlhelp32.h needs the types of windows.h declared first.
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "windows/support/Gateway.h"
#include "windows/support/ScratchKey.h"
#include "windows/support/StatusTexts.h"

namespace quillon::testing {
namespace {

constexpr int kTwipsPerPixel = 15;  // at 96 dpi

struct Setting {
    std::string name;
    std::string text;      // REG_SZ
    bool asDword = false;  // stored as REG_DWORD 1 instead
};

bool IsWholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 11) {
        return false;
    }
    char* end = nullptr;
    std::strtol(text.c_str(), &end, 10);
    return *end == '\0';
}

bool OnPrimaryScreen(const RECT& rect) {
    const RECT screen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    RECT overlap{};
    return ::IntersectRect(&overlap, &rect, &screen) != FALSE;
}

class FaultSettingsTest : public ::testing::Test {
  protected:
    void Store(const std::vector<Setting>& settings) {
        settings_.Clear();
        for (const Setting& setting : settings) {
            if (setting.asDword) {
                settings_.PutDword(setting.name, 1);
            } else {
                settings_.Put(setting.name, setting.text);
            }
        }
    }

    // One run with `settings` stored: the window's normal rectangle, whether
    // it opened zoomed or iconic, whether it shows "see ErrorLog", and its
    // error log.
    struct Run {
        RECT rect{};
        bool zoomed = false;
        bool iconic = false;
        bool hint = false;
        std::string log;
    };
    Run RunWith(const std::vector<Setting>& settings) {
        Run run;
        Store(settings);
        Gateway gateway;
        EXPECT_TRUE(gateway.Start());
        if (gateway.Window() == nullptr) {
            return run;
        }
        run.rect = gateway.Rect();
        run.zoomed = ::IsZoomed(gateway.Window()) != FALSE;
        run.iconic = ::IsIconic(gateway.Window()) != FALSE;
        run.hint = HasVisibleStyle(FindChildByText(gateway.Window(), "see ErrorLog"));
        EXPECT_TRUE(gateway.Close());
        run.log = gateway.ErrorLog();
        return run;
    }

    ScratchKey settings_{GatewaySection("Windows")};
};

TEST_F(FaultSettingsTest, EachMalformedSettingFallsBackAndTheWindowOpensOnScreen) {
    const Run design = RunWith({});
    ASSERT_TRUE(OnPrimaryScreen(design.rect));
    const LONG width = design.rect.right - design.rect.left;
    const LONG height = design.rect.bottom - design.rect.top;

    // A sound record puts the window at (100, 200); each case spoils one
    // value of it. The window's size is fixed, so stored sizes never apply.
    const std::vector<Setting> sound = {
        {"MRP_UILeft", "1500"},   {"MRP_UITop", "3000"},      {"MRP_UIWidth", "4500"},
        {"MRP_UIHeight", "3000"}, {"MRP_UIWindowState", "0"}, {"DualMonitor", "False"},
    };
    struct Case {
        Setting bad;
        LONG left;
        LONG top;
        bool reported;  // a stored state outside 0..2 is an invalid property value
    };
    const std::string huge(5000, '9');
    const std::vector<Case> cases = {
        {{"MRP_UILeft", "abc"}, design.rect.left, 200, false},
        {{"MRP_UILeft", ""}, design.rect.left, 200, false},
        {{"MRP_UILeft", "99999999999"}, design.rect.left, 200, false},
        {{"MRP_UILeft", huge}, design.rect.left, 200, false},
        {{"MRP_UILeft", "", true}, design.rect.left, 200, false},
        {{"MRP_UITop", "1,5e"}, 100, design.rect.top, false},
        {{"MRP_UITop", "-99999999999"}, 100, design.rect.top, false},
        {{"MRP_UITop", "", true}, 100, design.rect.top, false},
        {{"MRP_UIWidth", "-5000"}, 100, 200, false},
        {{"MRP_UIWidth", "text"}, 100, 200, false},
        {{"MRP_UIHeight", "-1"}, 100, 200, false},
        {{"MRP_UIHeight", "", true}, 100, 200, false},
        {{"MRP_UIWindowState", "7"}, 100, 200, true},
        {{"MRP_UIWindowState", "-1"}, 100, 200, true},
        {{"MRP_UIWindowState", "40000"}, 100, 200, false},
        {{"MRP_UIWindowState", "maximised"}, 100, 200, false},
        {{"MRP_UIWindowState", "", true}, 100, 200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bad.name + " = " +
                     (c.bad.asDword ? "REG_DWORD 1" : c.bad.text.substr(0, 20)));
        std::vector<Setting> settings = sound;
        for (Setting& setting : settings) {
            if (setting.name == c.bad.name) {
                setting = c.bad;
            }
        }
        const Run run = RunWith(settings);
        EXPECT_TRUE(OnPrimaryScreen(run.rect));
        EXPECT_EQ(run.rect.left, c.left);
        EXPECT_EQ(run.rect.top, c.top);
        EXPECT_EQ(run.rect.right - run.rect.left, width);
        EXPECT_EQ(run.rect.bottom - run.rect.top, height);
        EXPECT_FALSE(run.zoomed || run.iconic);
        EXPECT_EQ(CountOf(run.log, "in module Common.RestoreWindowPosition"), c.reported ? 1 : 0)
            << run.log;
        EXPECT_EQ(run.hint, c.reported) << "\"see ErrorLog\" shows once the load logged";
        // The getters never report a bad stored value.
        EXPECT_EQ(CountOf(run.log, "Setting, SectionName"), 0) << run.log;
    }

    // DualMonitor: anything but a boolean is false, so a window stored far
    // to the left comes back to the edge instead of onto the cascade.
    for (const Setting& bad : {Setting{"DualMonitor", "yes"}, Setting{"DualMonitor", "2x"},
                               Setting{"DualMonitor", "", true}}) {
        SCOPED_TRACE(bad.asDword ? "DualMonitor = REG_DWORD 1" : "DualMonitor = " + bad.text);
        std::vector<Setting> settings = sound;
        settings[0].text = "-60000";
        settings.back() = bad;
        const Run run = RunWith(settings);
        EXPECT_TRUE(OnPrimaryScreen(run.rect));
        EXPECT_EQ(run.rect.left, 0);
        EXPECT_EQ(run.rect.top, 200);
    }
}

// Processes whose executable is `path` (a copy in a scratch folder).
int ProcessesOf(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('\\') + 1);
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32First(snapshot, &entry); more;
         more = ::Process32Next(snapshot, &entry)) {
        count += _stricmp(entry.szExeFile, name.c_str()) == 0 ? 1 : 0;
    }
    ::CloseHandle(snapshot);
    return count;
}

TEST_F(FaultSettingsTest, FiftyStartsAndClosesWithPeersUpSaveAWholeRecordEachTime) {
    Gateway gateway;
    ChildProcess logger;
    ChildProcess decoder;
    ASSERT_TRUE(gateway.StartLogger(logger, "received.txt"));
    ASSERT_TRUE(
        gateway.StartDecoder(decoder, {"--interval", "50", "--value", "K", "--repeat", "1000000"}));
    for (int run = 0; run < 50; ++run) {
        SCOPED_TRACE("run " + std::to_string(run + 1));
        ASSERT_TRUE(gateway.Start());
        ASSERT_TRUE(gateway.WaitMrp(kMrpConnected)) << gateway.Mrp();
        ASSERT_TRUE(gateway.WaitPalavan(kPalavanConnected)) << gateway.Palavan();
        // Closed in turn normal, maximised and minimised; each run opens in
        // the state the one before saved. (Not maximised then normal: Wine
        // marks a window shown maximised as maximised in its X property
        // before mapping it, and only a window manager clears that mark on
        // restore. Under Xvfb there is none, so Wine's X11 driver reads the
        // stale mark on the next resize and sends the window SC_MAXIMIZE
        // itself. That is the test set-up, not the program.)
        static constexpr int kStates[] = {0, 2, 1};
        const auto inState = [&](int wanted) {
            const bool iconic = ::IsIconic(gateway.Window()) != FALSE;
            const bool zoomed = ::IsZoomed(gateway.Window()) != FALSE;
            return wanted == 0 ? !iconic && !zoomed : wanted == 1 ? iconic : zoomed;
        };
        const int opened = run == 0 ? 0 : kStates[(run - 1) % 3];
        EXPECT_TRUE(WaitUntil([&] { return inState(opened); }, kDeadlineMs));
        const int state = kStates[run % 3];
        const WPARAM command = state == 0 ? SC_RESTORE : state == 1 ? SC_MINIMIZE : SC_MAXIMIZE;
        ::SendMessageA(gateway.Window(), WM_SYSCOMMAND, command, 0);
        EXPECT_TRUE(WaitUntil([&] { return inState(state); }, kDeadlineMs));
        ASSERT_TRUE(gateway.Close());
        EXPECT_EQ(gateway.Process()->ExitCode(), 0u);
        for (const char* name : {"MRP_UILeft", "MRP_UITop", "MRP_UIWidth", "MRP_UIHeight"}) {
            EXPECT_TRUE(IsWholeNumber(settings_.Get(name))) << name << " = " << settings_.Get(name);
        }
        EXPECT_EQ(settings_.Get("MRP_UIWindowState"), std::to_string(state));
        RECT saved = {std::atoi(settings_.Get("MRP_UILeft").c_str()) / kTwipsPerPixel,
                      std::atoi(settings_.Get("MRP_UITop").c_str()) / kTwipsPerPixel, 0, 0};
        saved.right = saved.left + std::atoi(settings_.Get("MRP_UIWidth").c_str()) / kTwipsPerPixel;
        saved.bottom =
            saved.top + std::atoi(settings_.Get("MRP_UIHeight").c_str()) / kTwipsPerPixel;
        EXPECT_TRUE(OnPrimaryScreen(saved));
        EXPECT_EQ(ProcessesOf(gateway.ExePath()), 0);
    }
    EXPECT_EQ(gateway.ErrorLog(), "");
    EXPECT_GT(gateway.Received("received.txt").size(), 0u);
}

}  // namespace
}  // namespace quillon::testing
