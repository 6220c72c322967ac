// The setup program, run as users and administrators run it, in a Wine
// prefix made afresh for this test program (see CMakeLists.txt): a silent
// installation and what it leaves (and takes away: a Startup shortcut that
// would start the program a second time), an upgrade over a running copy, a
// copy that will not close, and both ways of uninstalling. On 64-bit Windows the
// 64-bit program must be installed, elsewhere the 32-bit one.

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ProgramVersion.h"
#include "ports/ProgramIdentity.h"
#include "windows/support/ChildProcess.h"
#include "windows/support/DdePeers.h"
#include "windows/support/ImportTable.h"
#include "windows/support/ScratchKey.h"
#include "windows/support/StatusTexts.h"
#include "windows/support/WindowSearch.h"

namespace quillon::testing {
namespace {

constexpr char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MRP_Quillon";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// A folder of the administrator's choice (/D=), with a space in its path.
constexpr char kChosenParent[] = "C:\\Ham Radio";
constexpr char kChosenDir[] = "C:\\Ham Radio\\MRP_Quillon";
constexpr DWORD kSetupDeadlineMs = 120000;  // a whole setup run under Wine
constexpr DWORD kNotRun = 0xFFFFFFFF;

std::string SetupPath() {
    return WinePath(QUILLON_SETUP_EXE);
}

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}
std::string DefaultDir() {
    return ShellFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\MRP_Quillon";
}
std::string ShortcutPath() {
    return ShellFolder(CSIDL_PROGRAMS) + "\\MRP_Quillon.lnk";
}

// What an installation leaves once and must not leave twice: Run values
// that start the program, uninstall entries and Start-menu entries.
int CountContaining(const std::vector<std::string>& texts, const char* part) {
    return static_cast<int>(std::count_if(
        texts.begin(), texts.end(),
        [part](const std::string& text) { return text.find(part) != std::string::npos; }));
}
int RunValuesForTheProgram() {
    return CountContaining(ListUserKey(kRunKey, KeyEntries::ValueTexts), "MRP_Quillon.exe");
}
int UninstallEntriesForTheProgram() {
    return CountContaining(ListUserKey(kUninstallRoot, KeyEntries::Subkeys), "MRP_Quillon");
}
// Shortcuts or folders named after the program.
int StartMenuEntriesForTheProgram() {
    WIN32_FIND_DATAA found{};
    HANDLE search =
        ::FindFirstFileA((ShellFolder(CSIDL_PROGRAMS) + "\\*MRP_Quillon*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int count = 0;
    do {
        ++count;
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return count;
}

// The names of the files in `dir`, sorted; empty when it does not exist.
std::vector<std::string> FolderFiles(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}
bool FolderExists(const std::string& dir) {
    const DWORD attributes = ::GetFileAttributesA(dir.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Calls `use` with a new ShellLink object and its IPersistFile.
template <typename Use>
void WithShellLink(const Use& use) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkA, reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            use(*link, *file);
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
}

std::string ShortcutTarget(const std::string& shortcut) {
    std::string target = "<unreadable>";
    WithShellLink([&](IShellLinkA& link, IPersistFile& file) {
        const std::wstring wide(shortcut.begin(), shortcut.end());  // an ASCII path
        char path[MAX_PATH] = {};
        if (SUCCEEDED(file.Load(wide.c_str(), STGM_READ)) &&
            SUCCEEDED(link.GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH))) {
            target = path;
        }
    });
    return target;
}

// A shortcut named `name` in the user's Startup folder to the program
// `target` (a file, never run); its path, or "" when it was not made.
std::string MakeStartupShortcut(const std::string& name, const std::string& target) {
    const std::string shortcut = ShellFolder(CSIDL_STARTUP | CSIDL_FLAG_CREATE) + "\\" + name;
    bool made = false;
    WithShellLink([&](IShellLinkA& link, IPersistFile& file) {
        const std::wstring wide(shortcut.begin(), shortcut.end());  // an ASCII path
        made = WriteWholeFile(target, "a program") && SUCCEEDED(link.SetPath(target.c_str())) &&
               SUCCEEDED(file.Save(wide.c_str(), TRUE));
    });
    return made ? shortcut : std::string();
}
bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WindowsIs64Bit() {
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64);
}

// Any window of the program's class, visible.
HWND GatewayWindow() {
    HWND window = FindTopWindow(0, identity::kWindowClass);
    return window != nullptr && ::IsWindowVisible(window) ? window : nullptr;
}

// A window of the program's class that ignores WM_CLOSE, on a thread of its
// own that keeps answering messages: a copy that will not close.
class StandInWindow {
  public:
    StandInWindow() : thread_([this] { Run(); }) {
        WaitUntil([this] { return window_.load() != nullptr; }, kDeadlineMs);
    }
    ~StandInWindow() {
        if (window_.load() != nullptr) {
            ::PostMessageA(window_.load(), WM_APP, 0, 0);
        }
        thread_.join();
    }
    HWND Window() const { return window_.load(); }
    int ClosesIgnored() const { return closes_.load(); }

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<StandInWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_CLOSE && self != nullptr) {
            ++self->closes_;
            return 0;
        }
        if (message == WM_APP) {
            ::DestroyWindow(window);
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    void Run() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &Procedure;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = identity::kWindowClass;
        ::RegisterClassA(&windowClass);
        HWND window =
            ::CreateWindowExA(0, identity::kWindowClass, "stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                              100, nullptr, nullptr, windowClass.hInstance, nullptr);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::ShowWindow(window, SW_SHOWNOACTIVATE);
        window_ = window;
        MSG message{};
        while (window != nullptr && ::GetMessageA(&message, nullptr, 0, 0) > 0) {
            ::DispatchMessageA(&message);
        }
        ::UnregisterClassA(identity::kWindowClass, windowClass.hInstance);
    }

    std::atomic<HWND> window_{nullptr};
    std::atomic<int> closes_{0};
    std::thread thread_;
};

class InstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(::GetFileAttributesA(SetupPath().c_str()), INVALID_FILE_ATTRIBUTES)
            << "no setup program at " << SetupPath()
            << ": build the 32-bit program (cmake --build --preset windows32), then the setup "
               "program (cmake --build --preset windows --target setup); scripts/test.sh does "
               "both";
    }
    void TearDown() override { RemoveInstallation(); }

    // Runs the setup program with `arguments` to its end; its exit code.
    static DWORD RunSetup(const std::string& arguments) {
        ChildProcess setup(SetupPath(), arguments);
        if (!setup.Started()) {
            ADD_FAILURE() << "the setup program did not start: error " << setup.StartError();
            return kNotRun;
        }
        if (!setup.WaitForExit(kSetupDeadlineMs)) {
            ADD_FAILURE() << "the setup program did not end";
            return kNotRun;
        }
        return setup.ExitCode();
    }

    // The program the installation must hold for this Windows.
    static void ExpectTheRightProgram(const std::string& installed) {
        const std::string bytes = ReadWholeFile(installed);
        const WORD expected = WindowsIs64Bit() ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
        EXPECT_EQ(PeImports(installed).Machine(), expected);
        const std::string ours = ReadWholeFile(GatewayExePath());
        if (PeImports(GatewayExePath()).Machine() == expected) {
            EXPECT_TRUE(bytes == ours) << installed << " is not " << GatewayExePath()
                                       << " (is the setup program older than the build?)";
        }
    }

    static void ExpectOneOfEach() {
        EXPECT_EQ(UninstallEntriesForTheProgram(), 1);
        EXPECT_EQ(StartMenuEntriesForTheProgram(), 1);
        EXPECT_EQ(RunValuesForTheProgram(), 1);
    }

    // Back to a machine without the program, whatever a test left.
    static void RemoveInstallation() {
        for (HWND window; (window = FindTopWindow(0, identity::kWindowClass)) != nullptr;) {
            ::PostMessageA(window, WM_CLOSE, 0, 0);
            if (!WaitUntil([window] { return !::IsWindow(window); }, kDeadlineMs)) {
                break;
            }
        }
        const std::string dir = ReadUserValue(kUninstallKey, "InstallLocation");
        if (dir != "<absent>") {
            // In place (_?=), so that this waits for the whole removal.
            ChildProcess uninstall(dir + "\\Uninstall.exe", "/S _?=" + dir);
            uninstall.WaitForExit(kSetupDeadlineMs);
        }
        for (const std::string& folder : {DefaultDir(), std::string(kChosenDir)}) {
            for (const std::string& name : FolderFiles(folder)) {
                ::DeleteFileA((folder + "\\" + name).c_str());
            }
            ::RemoveDirectoryA(folder.c_str());
        }
        ::RemoveDirectoryA(kChosenParent);
    }

    // The program's settings, none before a test and none after it.
    const ScratchKey settings_{GatewaySettings()};
    const ScratchKey windows_{GatewaySection("Windows")};
};

TEST_F(InstallerTest, SilentInstall_PutsEverythingInPlaceAndTheShortcutStartsALinkingProgram) {
    // A portable copy started at sign-in by a Startup shortcut, as the user
    // guide explains, beside the decoder: with the Run value, the program
    // would be started twice. The user gave the shortcut a name of their own.
    const ScratchDir portable;
    const std::string ours =
        MakeStartupShortcut("CW to the log.lnk", portable.Path() + "MRP_Quillon.exe");
    const std::string decoders = MakeStartupShortcut("MRP40.lnk", portable.Path() + "MRP40.exe");
    ASSERT_NE(ours, "");
    ASSERT_NE(decoders, "");
    ASSERT_EQ(RunSetup("/S"), 0u);
    EXPECT_FALSE(FileExists(ours));
    EXPECT_TRUE(::DeleteFileA(decoders.c_str())) << "the decoder's shortcut is gone";

    const std::string dir = DefaultDir();
    const std::string exe = dir + "\\MRP_Quillon.exe";
    EXPECT_EQ(FolderFiles(dir), (std::vector<std::string>{"LICENSE.txt", "MRP_Quillon.exe",
                                                          "USER_GUIDE.txt", "Uninstall.exe"}));
    ExpectTheRightProgram(exe);
    EXPECT_NE(ReadWholeFile(dir + "\\USER_GUIDE.txt").find("\r\n"), std::string::npos);
    EXPECT_EQ(ShortcutTarget(ShortcutPath()), exe);
    EXPECT_EQ(ReadUserValue(kRunKey, "MRP_Quillon"), "\"" + exe + "\"");
    ExpectOneOfEach();
    const std::pair<const char*, std::string> entry[] = {
        {"DisplayName", "MRP_Quillon"},
        {"DisplayVersion", QUILLON_VERSION_TEXT},
        {"Publisher", "The MRP_Quillon developers"},
        {"DisplayIcon", exe + ",0"},
        {"InstallLocation", dir},
        {"UninstallString", "\"" + dir + "\\Uninstall.exe\""},
        {"QuietUninstallString", "\"" + dir + "\\Uninstall.exe\" /S"},
        {"NoModify", "dword:1"},
        {"NoRepair", "dword:1"},
    };
    for (const auto& [name, value] : entry) {
        EXPECT_EQ(ReadUserValue(kUninstallKey, name), value) << name;
    }
    // In KB, the size of the installed files.
    double bytes = 0;
    for (const std::string& name : FolderFiles(dir)) {
        bytes += static_cast<double>(ReadWholeFile(dir + "\\" + name).size());
    }
    const std::string size = ReadUserValue(kUninstallKey, "EstimatedSize");
    ASSERT_EQ(size.rfind("dword:", 0), 0u) << size;
    EXPECT_NEAR(std::stod(size.substr(6)), bytes / 1024, 2.0);
    // Nothing ran before, so nothing was started.
    EXPECT_EQ(GatewayWindow(), nullptr);

    // The shortcut's target runs and links the decoder to the logging program.
    ScratchDir scratch;
    const std::string received = scratch.Path() + "received.txt";
    ChildProcess decoder;
    ChildProcess logger;
    ASSERT_TRUE(decoder.Start(ToolsDir() + "decoder_sim.exe",
                              {"--interval", "100", "--value", "K", "--repeat", "100000"}));
    ASSERT_TRUE(logger.Start(ToolsDir() + "logger_sim.exe", {"--out", received}));
    ChildProcess program(ShortcutTarget(ShortcutPath()));
    ASSERT_TRUE(program.Started());
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (window = GatewayWindow()) != nullptr; }, kDeadlineMs));
    const std::vector<std::string> linked{kMrpConnected, kPalavanConnected};
    EXPECT_TRUE(WaitUntil([&] { return ReadLabels(window) == linked; }, kDeadlineMs))
        << ::testing::PrintToString(ReadLabels(window));
    EXPECT_TRUE(WaitUntil([&] { return !ReadLines(received).empty(); }, kDeadlineMs));
    if (!ReadLines(received).empty()) {
        EXPECT_EQ(ReadLines(received).front(), "006displaycwK");
    }
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.WaitForExit(kDeadlineMs));
    EXPECT_TRUE(decoder.Quit());
    EXPECT_TRUE(logger.Quit());
}

// Installed with the sign-in option off (no Run value), and still with the
// Startup shortcut of the portable copy used before: the upgrade keeps the
// option off and removes the shortcut all the same.
TEST_F(InstallerTest, UpgradeOverARunningCopy_ClosesItAsTheUserWouldAndStartsTheNewOne) {
    ASSERT_EQ(RunSetup(std::string("/S /D=") + kChosenDir), 0u);
    HKEY run = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &run), ERROR_SUCCESS);
    const LONG deleted = ::RegDeleteValueA(run, "MRP_Quillon");
    ::RegCloseKey(run);
    ASSERT_EQ(deleted, ERROR_SUCCESS);
    const ScratchDir portable;
    const std::string shortcut =
        MakeStartupShortcut("CW to the log.lnk", portable.Path() + "MRP_Quillon.exe");
    ASSERT_NE(shortcut, "");
    const std::string exe = std::string(kChosenDir) + "\\MRP_Quillon.exe";
    const std::string guide = std::string(kChosenDir) + "\\USER_GUIDE.txt";
    // An older build: bytes appended to a program do not keep it from running.
    ASSERT_TRUE(WriteWholeFile(exe, ReadWholeFile(exe) + "older build"));
    ASSERT_TRUE(WriteWholeFile(guide, "older guide"));

    ChildProcess old(exe);
    ASSERT_TRUE(old.Started());
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (window = GatewayWindow()) != nullptr; }, kDeadlineMs));
    // Moved by the user to (120, 80): 1800 and 1200 twips at 96 dpi.
    HDC screen = ::GetDC(nullptr);
    ASSERT_EQ(::GetDeviceCaps(screen, LOGPIXELSX), 96);
    ::ReleaseDC(nullptr, screen);
    ::SetWindowPos(window, nullptr, 120, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_NE(windows_.Get("MRP_UILeft"), "1800");

    // No /D=: the upgrade goes where the installation is.
    ASSERT_EQ(RunSetup("/S"), 0u);
    ASSERT_TRUE(old.WaitForExit(0)) << "the running copy was not closed";
    EXPECT_EQ(old.ExitCode(), 0u);
    EXPECT_EQ(windows_.Get("MRP_UILeft"), "1800");
    EXPECT_EQ(windows_.Get("MRP_UITop"), "1200");
    ExpectTheRightProgram(exe);
    EXPECT_NE(ReadWholeFile(guide), "older guide");
    EXPECT_EQ(ReadUserValue(kUninstallKey, "InstallLocation"), kChosenDir);
    EXPECT_EQ(UninstallEntriesForTheProgram(), 1);
    EXPECT_EQ(StartMenuEntriesForTheProgram(), 1);
    EXPECT_EQ(RunValuesForTheProgram(), 0);
    EXPECT_FALSE(FileExists(shortcut));
    EXPECT_FALSE(FolderExists(DefaultDir()));

    // Started again, where the user left it.
    HWND restarted = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (restarted = GatewayWindow()) != nullptr; }, kDeadlineMs));
    DWORD restartedId = 0;
    ::GetWindowThreadProcessId(restarted, &restartedId);
    EXPECT_NE(restartedId, old.Id());
    RECT rect{};
    ::GetWindowRect(restarted, &rect);
    EXPECT_EQ(rect.left, 120);
    EXPECT_EQ(rect.top, 80);
}

TEST_F(InstallerTest, ACopyThatWillNotClose_SilentInstallFailsAndChangesNothing) {
    ASSERT_EQ(RunSetup(std::string("/S /D=") + kChosenDir), 0u);
    const std::string exe = std::string(kChosenDir) + "\\MRP_Quillon.exe";
    const std::string older = ReadWholeFile(exe) + "older build";
    ASSERT_TRUE(WriteWholeFile(exe, older));

    StandInWindow standIn;
    ASSERT_NE(standIn.Window(), nullptr);
    EXPECT_EQ(RunSetup("/S"), 2u);  // as the README tells administrators
    EXPECT_GE(standIn.ClosesIgnored(), 1) << "the setup program never asked it to close";
    EXPECT_TRUE(::IsWindow(standIn.Window()));
    EXPECT_TRUE(ReadWholeFile(exe) == older) << "the program was replaced";
    ExpectOneOfEach();
}

// "Run as administrator": the setup runs with the full half of a split
// token while the desktop's shell runs with the limited half. Under Wine
// every process gets the full half (this one too) and there is no shell
// window, so the shell here is the gateway's window, started with the
// limited half of this process's token.
TEST_F(InstallerTest, RunAsAdministrator_SaysSoAndChangesNothing) {
    HANDLE token = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    TOKEN_LINKED_TOKEN limited{};
    DWORD size = 0;
    ::GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
    ::GetTokenInformation(token, TokenLinkedToken, &limited, sizeof limited, &size);
    ::CloseHandle(token);
    ASSERT_EQ(type, TokenElevationTypeFull) << "the setup would not run elevated";
    ASSERT_NE(limited.LinkedToken, nullptr);
    std::string commandLine = "\"" + GatewayExePath() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION shell{};
    const BOOL started =
        ::CreateProcessAsUserA(limited.LinkedToken, nullptr, commandLine.data(), nullptr, nullptr,
                               FALSE, 0, nullptr, nullptr, &startup, &shell);
    ::CloseHandle(limited.LinkedToken);
    ASSERT_TRUE(started) << ::GetLastError();
    ::CloseHandle(shell.hThread);
    struct Ender {
        HANDLE process;
        ~Ender() {
            ::TerminateProcess(process, 1);  // when a check above stopped the test
            ::CloseHandle(process);
        }
    } ender{shell.hProcess};
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (window = GatewayWindow()) != nullptr; }, kDeadlineMs));
    using SetShellWindowFunction = BOOL(WINAPI*)(HWND);
    const auto setShellWindow = reinterpret_cast<SetShellWindowFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32"), "SetShellWindow")));
    ASSERT_NE(setShellWindow, nullptr);
    ASSERT_TRUE(setShellWindow(window));

    ChildProcess setup(SetupPath());
    ASSERT_TRUE(setup.Started());
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const HWND dialog = FindTopWindow(setup.Id(), "#32770");
            box = dialog != nullptr
                      ? FindChildByText(dialog,
                                        "Start the setup normally, without Run as administrator.")
                      : nullptr;
            return box != nullptr;
        },
        kSetupDeadlineMs))
        << ::testing::PrintToString(ListTopWindows(setup.Id()));
    ::PostMessageA(::GetParent(box), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(setup.WaitForExit(kSetupDeadlineMs));
    EXPECT_EQ(setup.ExitCode(), 4u);
    EXPECT_EQ(RunSetup("/S"), 4u);  // as the user guide tells administrators

    EXPECT_FALSE(FolderExists(DefaultDir()));
    EXPECT_FALSE(UserKeyExists(kUninstallKey));
    EXPECT_EQ(StartMenuEntriesForTheProgram(), 0);
    EXPECT_EQ(RunValuesForTheProgram(), 0);
    EXPECT_TRUE(::IsWindow(window)) << "the setup closed the running program";
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(shell.hProcess, kDeadlineMs), WAIT_OBJECT_0);
    // The other cases need a desktop without a shell again.
    EXPECT_EQ(::GetShellWindow(), nullptr);
}

TEST_F(InstallerTest, SilentUninstall_ClosesTheProgramAndKeepsOnlySettingsAndErrorLog) {
    ASSERT_EQ(RunSetup(std::string("/S /D=") + kChosenDir), 0u);
    const std::string dir = kChosenDir;
    const std::string errorLog = "07.12.2026 10:00:00 an earlier error\r\n";
    ASSERT_TRUE(WriteWholeFile(dir + "\\ErrorLog.txt", errorLog));
    ChildProcess program(dir + "\\MRP_Quillon.exe");
    ASSERT_TRUE(WaitUntil([] { return GatewayWindow() != nullptr; }, kDeadlineMs));

    // As the registry tells administrators to. The uninstaller hands over to
    // a copy of itself and ends at once; removing its entry is its last step.
    ASSERT_EQ(ReadUserValue(kUninstallKey, "QuietUninstallString"),
              "\"" + dir + "\\Uninstall.exe\" /S");
    ChildProcess uninstall(dir + "\\Uninstall.exe", "/S");
    ASSERT_TRUE(uninstall.Started());
    EXPECT_TRUE(WaitUntil([] { return !UserKeyExists(kUninstallKey); }, kSetupDeadlineMs));

    EXPECT_TRUE(program.WaitForExit(kDeadlineMs));
    EXPECT_EQ(program.ExitCode(), 0u);
    EXPECT_EQ(FolderFiles(dir), std::vector<std::string>{"ErrorLog.txt"});
    EXPECT_EQ(ReadWholeFile(dir + "\\ErrorLog.txt"), errorLog);
    EXPECT_EQ(StartMenuEntriesForTheProgram(), 0);
    EXPECT_EQ(RunValuesForTheProgram(), 0);
    EXPECT_NE(windows_.Get("MRP_UILeft"), "<absent>");  // saved by the close
}

TEST_F(InstallerTest, UninstallWithTheBoxTicked_RemovesSettingsAndErrorLogToo) {
    ASSERT_EQ(RunSetup(std::string("/S /D=") + kChosenDir), 0u);
    const std::string dir = kChosenDir;
    ASSERT_TRUE(WriteWholeFile(dir + "\\ErrorLog.txt", "an earlier error\r\n"));
    windows_.Put("MRP_UILeft", "1800");

    ChildProcess uninstall(dir + "\\Uninstall.exe");
    ASSERT_TRUE(uninstall.Started());
    HWND page = nullptr;
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            page = FindTopWindowByCaption("MRP_Quillon Uninstall");
            box = page != nullptr ? FindChildByText(page, "Also remove my settings and error log")
                                  : nullptr;
            return box != nullptr && ::IsWindowVisible(box);
        },
        kSetupDeadlineMs));
    EXPECT_EQ(::SendMessageA(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    ::SendMessageA(box, BM_CLICK, 0, 0);
    ASSERT_EQ(::SendMessageA(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    const HWND next = ::GetDlgItem(page, IDOK);
    EXPECT_EQ(WindowText(next), "&Uninstall");
    ::PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));

    EXPECT_TRUE(WaitUntil([] { return !UserKeyExists(kUninstallKey); }, kSetupDeadlineMs));
    EXPECT_FALSE(FolderExists(dir)) << ::testing::PrintToString(FolderFiles(dir));
    EXPECT_FALSE(settings_.Exists());
    // The last page's Close, once the removal has finished.
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(next) && WindowText(next) == "&Close"; },
                          kDeadlineMs));
    ::PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(page); }, kDeadlineMs));
}

// On a German Windows the setup's pages and its texts are German, and an
// installation through them ends as in English; the uninstaller's page is
// German too. Wine takes the display language from LC_ALL, which ctest sets
// for this case alone (entry InstallerTest_GermanLocale).
TEST_F(InstallerTest, GermanWindows_PagesInGermanAndTheInstallationCompletes) {
    ASSERT_EQ(PRIMARYLANGID(::GetUserDefaultUILanguage()), LANG_GERMAN)
        << "run with LC_ALL=de_DE.UTF-8 (ctest -R InstallerTest_GermanLocale)";
    // The control of `page` with this text, once it shows; else null.
    const auto shown = [](HWND page, const char* text) {
        HWND control = nullptr;
        if (WaitUntil(
                [&] {
                    control = FindChildByText(page, text);
                    return control != nullptr && ::IsWindowVisible(control);
                },
                kSetupDeadlineMs)) {
            return control;
        }
        std::vector<std::string> texts;
        for (const ChildInfo& child : ReadChildren(page)) {
            texts.push_back(child.text);
        }
        ADD_FAILURE() << "no \"" << text << "\" among " << ::testing::PrintToString(texts);
        return HWND{};
    };
    const auto next = [](HWND page) {
        ::PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(page, IDOK)));
    };

    ChildProcess setup(SetupPath());
    ASSERT_TRUE(setup.Started());
    HWND page = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (page = FindTopWindow(setup.Id(), "#32770")) != nullptr; },
                          kSetupDeadlineMs));
    ASSERT_NE(shown(page, "&Weiter >"), nullptr);
    next(page);
    const HWND signIn = shown(page, "MRP_Quillon bei der Anmeldung an Windows starten");
    ASSERT_NE(signIn, nullptr);
    EXPECT_EQ(WindowText(page), "Installation von MRP_Quillon " QUILLON_VERSION_TEXT);
    EXPECT_EQ(::SendMessageA(signIn, BM_GETCHECK, 0, 0), BST_CHECKED);
    next(page);
    // The finish page, its option turned off: the program is not started.
    const HWND startNow = shown(page, "MRP_Quillon jetzt starten");
    ASSERT_NE(startNow, nullptr);
    ::SendMessageA(startNow, BM_CLICK, 0, 0);
    ASSERT_NE(shown(page, "&Fertigstellen"), nullptr);
    next(page);
    ASSERT_TRUE(setup.WaitForExit(kSetupDeadlineMs));
    EXPECT_EQ(setup.ExitCode(), 0u);
    EXPECT_EQ(FolderFiles(DefaultDir()),
              (std::vector<std::string>{"LICENSE.txt", "MRP_Quillon.exe", "USER_GUIDE.txt",
                                        "Uninstall.exe"}));
    ExpectOneOfEach();
    EXPECT_EQ(GatewayWindow(), nullptr);

    // The uninstaller hands over to a copy of itself, whose page is found
    // by its caption; Cancel leaves the installation as it is.
    ChildProcess uninstall(DefaultDir() + "\\Uninstall.exe");
    ASSERT_TRUE(uninstall.Started());
    ASSERT_TRUE(WaitUntil(
        [&] {
            return (page = FindTopWindowByCaption("Deinstallation von MRP_Quillon")) != nullptr;
        },
        kSetupDeadlineMs));
    EXPECT_NE(shown(page, "Auch meine Einstellungen und das Fehlerprotokoll entfernen"), nullptr);
    ::PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(page); }, kDeadlineMs));
    EXPECT_TRUE(UserKeyExists(kUninstallKey));
}

}  // namespace
}  // namespace quillon::testing
