#include "windows/support/DdePeers.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "windows/support/ChildProcess.h"

namespace quillon::testing {

std::string TestProgramDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of("\\/") + 1);
}

// Test programs live in <build>\tests\windows.
std::string BuildDir() {
    return TestProgramDir() + "..\\..\\";
}

std::string ToolsDir() {
    char peers[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("QUILLON_PEER_DIR", peers, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        std::string dir = WinePath(peers);
        return dir.back() == '\\' ? dir : dir + '\\';
    }
    return BuildDir() + "tools\\";
}

int ExpectedWindowsBitness() {
    char bits[8] = {};
    const DWORD length = GetEnvironmentVariableA("QUILLON_WINDOWS_BITS", bits, sizeof bits);
    return length > 0 && length < sizeof bits ? std::atoi(bits) : 0;
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

DdePeerProcess::~DdePeerProcess() {
    if (process_ != nullptr) {
        Kill();
        CloseHandle(process_);
    }
}

bool DdePeerProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                           bool simulator) {
    static int counter = 0;
    std::string command = Quote(program);
    for (const std::string& argument : arguments) {
        command += " " + Quote(argument);
    }
    if (simulator) {
        quitEvent_ = "QuillonTestQuit-" + std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(++counter);
        command += " --quit-event " + quitEvent_;
    }
    PROCESS_INFORMATION info{};
    DWORD error = 0;
    if (!StartProgram(program, command, info, error)) {
        std::fprintf(stderr, "DdePeerProcess: %s not started, error %lu\n", program.c_str(),
                     static_cast<unsigned long>(error));
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    return true;
}

bool DdePeerProcess::Quit(DWORD timeoutMs) {
    if (!Running()) {
        return true;
    }
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, quitEvent_.c_str());
    SetEvent(event);
    const bool ended = WaitExit(timeoutMs);
    CloseHandle(event);
    return ended;
}

void DdePeerProcess::Kill() {
    if (Running()) {
        TerminateProcess(process_, 9);
        WaitForSingleObject(process_, 5000);
    }
}

bool DdePeerProcess::Running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool DdePeerProcess::WaitExit(DWORD timeoutMs) {
    return PumpUntil([this] { return !Running(); }, timeoutMs);
}

DWORD DdePeerProcess::ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done()) {
            return true;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            return false;
        }
        const DWORD slice = timeoutMs - elapsed < 20 ? timeoutMs - elapsed : 20;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
    }
}

DdeScratchDir::DdeScratchDir() {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "quillon-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount()) + "-" + std::to_string(++counter) + "\\";
    CreateDirectoryA(path_.c_str(), nullptr);
}

DdeScratchDir::~DdeScratchDir() {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((path_ + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                DeleteFileA((path_ + found.cFileName).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::istringstream text(ReadWholeFile(path));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(text, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace quillon::testing
