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
    // CreateProcess may write into the command line: a modifiable copy.
    const std::string command = "notepad.exe \"" + path + "\"";
    std::vector<char> commandLine(command.begin(), command.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return false;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

}  // namespace

bool OpenInTextViewer(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    return OpenWithAssociation(path) || OpenWithNotepad(path);
}

}  // namespace quillon::app
