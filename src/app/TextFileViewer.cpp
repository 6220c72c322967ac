#include "app/TextFileViewer.h"

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <vector>

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

bool OpenWithAssociation(const std::string& path) {
    ScopedComApartment com;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    // No UI: without an association the shell would ask the user to pick
    // a program; Notepad is the answer here.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = path.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ::ShellExecuteExA(&info) != FALSE;
}

bool OpenWithNotepad(const std::string& path) {
    const HANDLE process = StartNotepad(path);
    if (process == nullptr) {
        return false;
    }
    ::CloseHandle(process);
    return true;
}

}  // namespace

HANDLE StartNotepad(const std::string& path) {
    // By full path from the Windows folder: a bare "notepad.exe" would be
    // looked for in the program's own folder first, which the user can
    // write to (as the DLL search, see SafeDllSearch.h). The shared Windows
    // folder, not a per-user one on a terminal server.
    char folder[MAX_PATH] = {};
    const UINT length = ::GetSystemWindowsDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::string program = std::string(folder, length) + "\\notepad.exe";
    // CreateProcess may write into the command line: a modifiable copy.
    const std::string command = "\"" + program + "\" \"" + path + "\"";
    std::vector<char> commandLine(command.begin(), command.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        return nullptr;
    }
    ::CloseHandle(process.hThread);
    return process.hProcess;
}

bool OpenInTextViewer(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    return OpenWithAssociation(path) || OpenWithNotepad(path);
}

}  // namespace quillon::app
