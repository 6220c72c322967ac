// The first error of a real run under Wine: ErrorLog.txt gains the
// environment header and the monitor report, line for line, then the error
// line and at shut-down the shutdown line, all with CR LF; the window shows
// "see ErrorLog" and comes back from minimised. The run is in a German user
// locale (see CMakeLists.txt), so the stamps name the month in German.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "windows/support/Gateway.h"

namespace quillon::testing {
namespace {

// What the header's operating-system line must say on this system: the
// version query, the name and build from the CurrentVersion key in the
// system's native registry view (a 32-bit gateway on 64-bit Windows must find
// them through its own view) and the bitness the suite's registration names.
std::string ExpectedOperatingSystem() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&version);
#pragma GCC diagnostic pop
    const int bits = ExpectedWindowsBitness();
    EXPECT_TRUE(bits == 64 || bits == 32) << "QUILLON_WINDOWS_BITS is not set to 64 or 32";
    // Wine's prefixes report an NT 6.x with a minor version, so the name and
    // build come from the registry.
    EXPECT_EQ(version.dwPlatformId, 2u);
    EXPECT_EQ(version.dwMajorVersion, 6u);
    EXPECT_NE(version.dwMinorVersion, 0u);
    char product[256] = {};
    char build[64] = {};
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion",
                            0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    DWORD size = sizeof product;
    RegGetValueA(key, nullptr, "ProductName", RRF_RT_REG_SZ, nullptr, product, &size);
    size = sizeof build;
    RegGetValueA(key, nullptr, "CurrentBuildNumber", RRF_RT_REG_SZ, nullptr, build, &size);
    RegCloseKey(key);
    EXPECT_NE(product[0], '\0');
    std::string name = product;
    if (version.szCSDVersion[0] != '\0') {
        name += std::string(" [") + version.szCSDVersion + "]";
    }
    return "Operating System  : " + name + " (" + std::to_string(bits) + "-bit) build " +
           std::to_string(std::stoi(build));
}

BOOL CALLBACK CollectMonitor(HMONITOR, HDC, LPRECT rect, LPARAM context) {
    reinterpret_cast<std::vector<RECT>*>(context)->push_back(*rect);
    return TRUE;
}

std::vector<RECT> Monitors() {
    std::vector<RECT> rects;
    EnumDisplayMonitors(nullptr, nullptr, &CollectMonitor, reinterpret_cast<LPARAM>(&rects));
    return rects;
}

// The month as a German user locale abbreviates it, in the ANSI code page,
// whatever form the platform's locale data gives it.
std::string GermanMonth(WORD month) {
    char name[80] = {};
    const LCTYPE item = static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + month - 1);
    const int length =
        GetLocaleInfoA(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT),
                       item | LOCALE_USE_CP_ACP, name, sizeof name);
    return length > 1 ? std::string(name) : std::string();
}

TEST(ErrorLogHeaderTest, FirstErrorWritesHeaderAndMonitorReportAndRestoresTheWindow) {
    // Wine takes the user locale from LC_ALL, which needs de_DE.UTF-8
    // generated on the host (scripts/test.sh does).
    ASSERT_EQ(GetUserDefaultLCID(), 0x407u)
        << "not a German user locale: is de_DE.UTF-8 generated?";
    SYSTEMTIME before{};
    GetSystemTime(&before);
    Gateway gateway;
    const std::string logPath = gateway.ErrorLogPath();
    ASSERT_TRUE(gateway.Start());
    const HWND window = gateway.Window();
    const HWND hint = FindChildByText(window, "see ErrorLog");
    ASSERT_NE(hint, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !HasVisibleStyle(hint); }, kDeadlineMs));

    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(window) != FALSE; }, kDeadlineMs));

    // A decoder and no logger: the first decoded value fails to go out.
    ChildProcess decoder;
    ASSERT_TRUE(
        gateway.StartDecoder(decoder, {"--wait-client", "--delay", "300", "--value", "CQ"}));
    ASSERT_TRUE(
        PumpUntil([&] { return ReadWholeFile(logPath).find("program error") != std::string::npos; },
                  kDeadlineMs));
    EXPECT_TRUE(WaitUntil([&] { return HasVisibleStyle(hint); }, kDeadlineMs))
        << "the hint shows once something is logged";
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(window) == FALSE; }, kDeadlineMs))
        << "the window comes back from minimised";

    ASSERT_TRUE(gateway.Close());
    decoder.Kill();
    SYSTEMTIME after{};
    GetSystemTime(&after);
    // The run may have crossed into the next month.
    const std::vector<std::string> months = {GermanMonth(before.wMonth), GermanMonth(after.wMonth)};
    ASSERT_NE(months[0], "");

    const std::string raw = ReadWholeFile(logPath);
    size_t lineEnds = 0;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n') {
            ++lineEnds;
            EXPECT_TRUE(i > 0 && raw[i - 1] == '\r') << "line end at byte " << i;
        }
    }
    const std::vector<std::string> lines = ReadLines(logPath);
    ASSERT_EQ(lineEnds, lines.size());

    const std::vector<RECT> monitors = Monitors();
    ASSERT_FALSE(monitors.empty());
    std::string folder = gateway.Folder();
    folder.pop_back();  // no trailing separator

    std::vector<std::string> expected = {
        "MRP_Quillon version 1.0.2",
        "App.Path          : " + folder,
        "App.exe           : MRP_Quillon",
        ExpectedOperatingSystem(),
        "Locale ID         : 0 (0x0)",
        "ANSI CodePage     : ",
        "OEM CodePage      : ?",
        "Country           : ?",
        "Language          : ?",
        "DecimalSeparator  : ",
        "ThousandSeparator : ",
        "Quillon Apps      : ",
        "Monitors          : " + std::to_string(monitors.size()),
    };
    for (size_t i = 0; i < monitors.size(); ++i) {
        const RECT& m = monitors[i];
        expected.push_back("Monitor " + std::to_string(i + 1));
        expected.push_back("   width          : " + std::to_string(m.right - m.left));
        expected.push_back("   height         : " + std::to_string(m.bottom - m.top));
        expected.push_back("   dimensions     : (" + std::to_string(m.left) + ", " +
                           std::to_string(m.top) + ")-(" + std::to_string(m.right) + ", " +
                           std::to_string(m.bottom) + ")");
    }
    expected.push_back(
        "program error 293 in module MRP_UI.MRPDDE_Change: DDE method invoked with no channel "
        "open");

    ASSERT_GE(lines.size(), expected.size() + 2) << raw;
    EXPECT_EQ(lines[0], "") << "the header opens with an empty line";
    const std::regex stamped(R"(^(\d\d-([^-]+)-\d{4} \d\d:\d\d:\d\d) > (.*)$)");
    const auto germanMonth = [&](const std::smatch& match) {
        return std::find(months.begin(), months.end(), match[2].str()) != months.end();
    };
    std::string startStamp;
    for (size_t i = 0; i < expected.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i + 1], match, stamped)) << lines[i + 1];
        EXPECT_EQ(match[3].str(), expected[i]) << "line " << i + 2;
        EXPECT_TRUE(germanMonth(match)) << lines[i + 1] << " month not " << months[0];
        if (i == 0) {
            startStamp = match[1].str();
        } else if (i < 12) {
            EXPECT_EQ(match[1].str(), startStamp) << "header lines carry the start time";
        }
    }
    // Every value the decoder delivered was reported; the run ends with the
    // shutdown line.
    std::smatch last;
    ASSERT_TRUE(std::regex_match(lines.back(), last, stamped));
    EXPECT_EQ(last[3].str(), "Common.Terminate: MRP_Quillon shutdown");
    EXPECT_TRUE(germanMonth(last)) << lines.back();
}

}  // namespace
}  // namespace quillon::testing
