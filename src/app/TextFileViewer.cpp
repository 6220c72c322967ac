#include "app/TextFileViewer.h"

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <vector>

#include "base/ErrorTrap.h"
#include "win32/WideText.h"

namespace quillon::app {

namespace {

// The shell may hand the verb to an extension through COM: initialise it
// for this call (OLE1 DDE off, so the shell's own DDE stays out of the
// program's conversations).
class ScopedComApartment {
  public:
    ScopedComApartment()
        : initialised_(SUCCEEDED(
              ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ScopedComApartment() {
        if (initialised_) {
            ::CoUninitialize();
        }
    }
    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;

  private:
    bool initialised_;
};

bool OpenWithAssociation(const std::wstring& path) {
    ScopedComApartment com;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // No UI: without an association the shell would ask the user to pick
    // a program; Notepad is the answer here.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = path.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ::ShellExecuteExW(&info) != FALSE;
}

HANDLE StartNotepadOn(const std::wstring& path) {
    // By full path from the Windows folder: a bare "notepad.exe" would be
    // looked for in the program's own folder first, which the user can
    // write to (as the DLL search, see SafeDllSearch.h). The shared Windows
    // folder, not a per-user one on a terminal server.
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::wstring program = std::wstring(folder, length) + L"\\notepad.exe";
    // CreateProcess may write into the command line: a modifiable copy.
    std::wstring commandLine = L"\"" + program + L"\" \"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        return nullptr;
    }
    ::CloseHandle(process.hThread);
    return process.hProcess;
}

bool OpenWithNotepad(const std::wstring& path) {
    const HANDLE process = StartNotepadOn(path);
    if (process == nullptr) {
        return false;
    }
    ::CloseHandle(process);
    return true;
}

}  // namespace

HANDLE StartNotepad(const std::string& path) {
    std::wstring widePath;
    if (CollectError([&] { widePath = win32::WidePathname(path); }) != 0) {
        return nullptr;
    }
    return StartNotepadOn(widePath);
}

bool OpenInTextViewer(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::wstring widePath;
    if (CollectError([&] { widePath = win32::WidePathname(path); }) != 0) {
        return false;  // not UTF-8: no pathname of this program's
    }
    return OpenWithAssociation(widePath) || OpenWithNotepad(widePath);
}

}  // namespace quillon::app
