#include "windows/support/ChildProcess.h"

#include <cstdio>

#include "windows/support/DdePeers.h"

namespace quillon::testing {

std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');  // never more wide characters than bytes
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                             &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return wide;
}

bool StartProgram(const std::string& program, const std::string& commandLine,
                  PROCESS_INFORMATION& info, DWORD& error) {
    // Wine on a loaded machine has been seen to refuse a process start once
    // in a long series; a few tries apart, each failure printed, keep such a
    // moment from failing a test that is not about starting processes.
    constexpr int kTries = 3;
    for (int attempt = 1; attempt <= kTries; ++attempt) {
        if (attempt > 1) {
            std::fprintf(stderr, "StartProgram: starting %s failed with error %lu, retrying\n",
                         program.c_str(), static_cast<unsigned long>(error));
            ::Sleep(500);
        }
        // CreateProcess may write into the command line, so it gets a copy.
        std::wstring buffer = Wide(commandLine);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        info = PROCESS_INFORMATION{};
        if (::CreateProcessW(Wide(program).c_str(), &buffer[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &info)) {
            error = 0;
            return true;
        }
        error = ::GetLastError();
    }
    return false;
}

namespace {

std::string Quote(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         bool simulator) {
    static int counter = 0;
    std::string command = Quote(program);
    for (const std::string& argument : arguments) {
        command += " " + Quote(argument);
    }
    if (simulator) {
        quitEvent_ = "QuillonTestQuit-" + std::to_string(::GetCurrentProcessId()) + "-" +
                     std::to_string(++counter);
        command += " --quit-event " + quitEvent_;
    }
    return Launch(program, command);
}

ChildProcess::ChildProcess(const std::string& program, const std::string& arguments) {
    Launch(program, arguments.empty() ? Quote(program) : Quote(program) + " " + arguments);
}

bool ChildProcess::Launch(const std::string& program, const std::string& commandLine) {
    PROCESS_INFORMATION info{};
    if (!StartProgram(program, commandLine, info, startError_)) {
        std::fprintf(stderr, "ChildProcess: %s not started, error %lu\n", program.c_str(),
                     static_cast<unsigned long>(startError_));
        return false;
    }
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
}

ChildProcess::~ChildProcess() {
    if (process_ != nullptr) {
        Kill();
        ::CloseHandle(process_);
    }
}

bool ChildProcess::Running() const {
    return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool ChildProcess::Quit(DWORD timeoutMs) {
    if (!Running()) {
        return true;
    }
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, quitEvent_.c_str());
    ::SetEvent(event);
    const bool ended = WaitForExit(timeoutMs);
    ::CloseHandle(event);
    return ended;
}

void ChildProcess::Kill() {
    if (Running()) {
        ::TerminateProcess(process_, 9);
        ::WaitForSingleObject(process_, 10000);
    }
}

bool ChildProcess::WaitForExit(DWORD timeoutMs) const {
    return process_ != nullptr && PumpUntil([this] { return !Running(); }, timeoutMs);
}

DWORD ChildProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_ != nullptr) {
        ::GetExitCodeProcess(process_, &code);
    }
    return code;
}

std::string WinePath(std::string hostPath) {
    // Under Wine a Unix path is reached through drive Z:, which maps the root.
    if (!hostPath.empty() && hostPath[0] == '/') {
        hostPath = "Z:" + hostPath;
    }
    for (char& c : hostPath) {
        if (c == '/') {
            c = '\\';
        }
    }
    return hostPath;
}

std::string GatewayExePath() {
    // The build passes the program's path as the host sees it.
    return WinePath(QUILLON_GATEWAY_EXE);
}

}  // namespace quillon::testing
