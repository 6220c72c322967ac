// The "see ErrorLog" label as the user meets it: a hand over it, and a
// click opens the error log. The viewer is replaced by a recorder, so the
// test sees the path it would have been given without starting one. The
// viewer of last resort, Notepad, is the Windows folder's own. And the
// running program writes and opens its log in any folder.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/GatewayWindow.h"
#include "windows/support/Gateway.h"
#include "windows/support/ScratchKey.h"

namespace quillon {
namespace {

constexpr const char* kLogPath = "C:\\Ham Radio\\MRP_Quillon\\ErrorLog.txt";

class ErrorLogLabelClickTest : public ::testing::Test {
  protected:
    // The window of the label's cases, made on first use. The cases of the
    // running program make none: a window here pumps nothing while they wait,
    // and the gateway's links offer each new conversation to every top-level
    // window.
    app::GatewayWindow& Window() {
        if (!window_) {
            window_.emplace([this](const std::string& path) {
                opened_.push_back(path);
                return true;
            });
            // Shown as after the first logged line; the window itself stays
            // hidden (the messages below go straight to the controls).
            window_->ErrorLogLabel().SetVisible(true);
        }
        return *window_;
    }

    // A click as the mouse delivers it to the control under it.
    static void Click(HWND control) {
        ::SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        ::SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }

    // The cursor the window chooses with the pointer over `control`.
    static HCURSOR CursorOver(HWND control) {
        ::SetCursor(nullptr);
        ::SendMessageA(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return ::GetCursor();
    }

    std::vector<std::string> opened_;

  private:
    std::optional<app::GatewayWindow> window_;
};

TEST_F(ErrorLogLabelClickTest, ClickOpensTheLogOnceWithItsPath) {
    Window().SetErrorLogPath([] { return std::string(kLogPath); });
    const HWND label = Window().ErrorLogLabel().Handle();
    // Without SS_NOTIFY a static control neither reports clicks nor is hit
    // by the pointer (it lets both through to the window).
    EXPECT_NE(::GetWindowLongPtrA(label, GWL_STYLE) & SS_NOTIFY, 0);

    Click(label);
    EXPECT_EQ(opened_, std::vector<std::string>{kLogPath});
}

TEST_F(ErrorLogLabelClickTest, StatusLinesAreNotClickable) {
    Window().SetErrorLogPath([] { return std::string(kLogPath); });
    const MrpUiControls controls = Window().Controls();
    for (LabelPort* status : {&controls.mrpStatusLabel, &controls.palavanStatusLabel}) {
        const HWND label = static_cast<win32::Win32Label*>(status)->Handle();
        Click(label);
        EXPECT_EQ(::GetWindowLongPtrA(label, GWL_STYLE) & SS_NOTIFY, 0);
    }
    EXPECT_TRUE(opened_.empty());
}

TEST_F(ErrorLogLabelClickTest, NoPathYetOpensNothing) {
    Click(Window().ErrorLogLabel().Handle());  // before the load has set a path
    Window().SetErrorLogPath([] { return std::string(); });
    Click(Window().ErrorLogLabel().Handle());
    EXPECT_TRUE(opened_.empty());
}

TEST_F(ErrorLogLabelClickTest, HandOverTheLabelArrowElsewhere) {
    const HCURSOR hand = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
    const HCURSOR arrow = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    ASSERT_NE(hand, nullptr);
    ASSERT_NE(hand, arrow);
    EXPECT_EQ(CursorOver(Window().ErrorLogLabel().Handle()), hand);

    const auto* status = static_cast<win32::Win32Label*>(&Window().Controls().mrpStatusLabel);
    EXPECT_EQ(CursorOver(status->Handle()), arrow);
    EXPECT_EQ(CursorOver(Window().Form().Handle()), arrow);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The program's folder is one the user can write to: a notepad.exe dropped
// there (here a copy of the real one, so that it runs either way) must not
// be the one started.
TEST_F(ErrorLogLabelClickTest, NotepadComesFromTheWindowsFolderNotTheProgramsFolder) {
    char self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string planted = self;
    planted.erase(planted.find_last_of('\\') + 1);
    planted += "notepad.exe";
    char windows[MAX_PATH] = {};
    ASSERT_GT(::GetSystemWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string real = std::string(windows) + "\\notepad.exe";
    ASSERT_TRUE(::CopyFileA(real.c_str(), planted.c_str(), FALSE)) << real;

    const HANDLE notepad = app::StartNotepad(kLogPath);
    char image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    const bool named =
        notepad != nullptr && ::QueryFullProcessImageNameA(notepad, 0, image, &size) != FALSE;
    if (notepad != nullptr) {
        ::TerminateProcess(notepad, 0);
        ::WaitForSingleObject(notepad, 5000);
        ::CloseHandle(notepad);
    }
    ::DeleteFileA(planted.c_str());
    ASSERT_TRUE(named);
    EXPECT_EQ(Lower(image), Lower(real));
}

struct Viewer {
    HWND window = nullptr;
    DWORD processId = 0;
};

BOOL CALLBACK OnViewerCandidate(HWND window, LPARAM found) {
    if (::IsWindowVisible(window) == FALSE) {
        return TRUE;
    }
    // Its caption, or a viewer's message about the file (which must be
    // found and ended as well).
    bool names = testing::WindowText(window).find("ErrorLog") != std::string::npos;
    for (const testing::ChildInfo& child : testing::ReadChildren(window)) {
        names = names || child.text.find("ErrorLog.txt") != std::string::npos;
    }
    if (!names) {
        return TRUE;
    }
    auto* viewer = reinterpret_cast<Viewer*>(found);
    viewer->window = window;
    ::GetWindowThreadProcessId(window, &viewer->processId);
    return FALSE;
}

// A shown top-level window of any process that names the log.
Viewer FindLogViewer() {
    Viewer viewer;
    ::EnumWindows(OnViewerCandidate, reinterpret_cast<LPARAM>(&viewer));
    return viewer;
}

// Clicks the shown hint `hint` of the gateway process `gatewayId`, waits for
// a viewer of the log and ends it: the viewer's caption and what it shows.
std::string ViewerAfterClickOn(HWND hint, DWORD gatewayId) {
    ::PostMessageA(hint, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::PostMessageA(hint, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    Viewer viewer;
    testing::WaitUntil(
        [&] {
            viewer = FindLogViewer();
            return viewer.window != nullptr;
        },
        testing::kDeadlineMs);
    EXPECT_NE(viewer.processId, gatewayId) << "the viewer is a program of its own";
    if (viewer.window == nullptr) {
        return std::string();
    }
    std::string seen = testing::WindowText(viewer.window);
    for (const testing::ChildInfo& child : testing::ReadChildren(viewer.window)) {
        seen += "\n" + child.text;
    }
    const HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, viewer.processId);
    if (process != nullptr) {
        ::TerminateProcess(process, 0);
        ::WaitForSingleObject(process, 5000);
        ::CloseHandle(process);
    }
    return seen;
}

// The hint of the gateway window `window`, once it shows.
HWND ShownHint(const std::function<HWND()>& window) {
    HWND hint = nullptr;
    testing::WaitUntil(
        [&] {
            hint =
                window() != nullptr ? testing::FindChildByText(window(), "see ErrorLog") : nullptr;
            return testing::HasVisibleStyle(hint);
        },
        testing::kDeadlineMs);
    return testing::HasVisibleStyle(hint) ? hint : nullptr;
}

// The running program with its own opener: once something is logged, a
// click on the hint opens the program's ErrorLog.txt in a viewer (under
// Wine, Notepad through the association of .txt).
TEST_F(ErrorLogLabelClickTest, ClickInTheRunningProgramOpensItsLogInAViewer) {
    ASSERT_EQ(FindLogViewer().window, nullptr) << "a viewer of a log is open already";
    testing::Gateway gateway;
    ASSERT_TRUE(gateway.Start());
    // A decoder and no logger: the first value cannot go out and is logged.
    testing::ChildProcess decoder;
    ASSERT_TRUE(
        gateway.StartDecoder(decoder, {"--wait-client", "--delay", "300", "--value", "CQ"}));
    const HWND hint = ShownHint([&] { return gateway.Window(); });
    ASSERT_NE(hint, nullptr) << gateway.ErrorLog();
    const std::string viewer = ViewerAfterClickOn(hint, gateway.Process()->Id());
    EXPECT_NE(viewer.find("ErrorLog.txt"), std::string::npos) << "no viewer of ErrorLog.txt";
    EXPECT_TRUE(gateway.Close());
}

// A folder named in letters that the ANSI code page (1252: this case's
// ctest entry, GatewayTest_GermanLocale, sets LC_ALL=de_DE.UTF-8) lacks, "Programmy" in Cyrillic.
// An error while loading (a stored window state it refuses) is logged into that folder, the header
// shows the folder as the code page renders it, and a click shows that log.
TEST_F(ErrorLogLabelClickTest, AProgramInAFolderOutsideTheAnsiCodePageLogsThereAndTheClickOpensIt) {
    ASSERT_EQ(::GetACP(), 1252u) << "LC_ALL=de_DE.UTF-8 is not in effect";
    ASSERT_EQ(FindLogViewer().window, nullptr) << "a viewer of a log is open already";
    const testing::ScratchDir scratch;
    const std::string folder =
        scratch.Path() + u8"\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u044b";
    const std::wstring exe = testing::Wide(folder + "\\MRP_Quillon.exe");
    const std::wstring log = testing::Wide(folder + "\\ErrorLog.txt");
    ASSERT_TRUE(::CreateDirectoryW(testing::Wide(folder).c_str(), nullptr));
    struct Removed {
        std::vector<std::wstring> files;
        std::wstring folder;
        ~Removed() {
            for (const std::wstring& file : files) {
                ::DeleteFileW(file.c_str());
            }
            ::RemoveDirectoryW(folder.c_str());
        }
    } removed{{exe, log}, testing::Wide(folder)};
    ASSERT_TRUE(::CopyFileW(testing::Wide(testing::GatewayExePath()).c_str(), exe.c_str(), FALSE));
    const testing::ScratchKey settings(testing::GatewaySection("Windows"));
    settings.Put("MRP_UIWindowState", "7");

    testing::ChildProcess gateway(folder + "\\MRP_Quillon.exe");
    ASSERT_TRUE(gateway.Started());
    HWND window = nullptr;
    const HWND hint = ShownHint(
        [&] { return window = testing::FindTopWindow(gateway.Id(), "MRP_Quillon.MainWindow"); });
    ASSERT_NE(hint, nullptr);
    EXPECT_NE(::GetFileAttributesW(log.c_str()), INVALID_FILE_ATTRIBUTES) << "no log there";
    // What the viewer shows is that log: its header and the load's error.
    const std::string viewer = ViewerAfterClickOn(hint, gateway.Id());
    EXPECT_NE(viewer.find(" > App.Path          : " + scratch.Path() + "?????????\r\n"),
              std::string::npos)
        << viewer;
    EXPECT_NE(viewer.find("in module Common.RestoreWindowPosition"), std::string::npos);
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(gateway.WaitForExit(testing::kDeadlineMs));
}

}  // namespace
}  // namespace quillon
