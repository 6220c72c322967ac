#include "windows/support/DdePeers.h"

// ddeml.h needs the types of windows.h declared first.
#include <ddeml.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

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

HDDEDATA CALLBACK IgnoreDdeEvents(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

}  // namespace

bool DecoderAnswers(const char* service) {
    DWORD instance = 0;
    if (DdeInitializeA(&instance, IgnoreDdeEvents, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        return false;
    }
    const HSZ name = DdeCreateStringHandleA(instance, service, CP_WINANSI);
    const HSZ topic = DdeCreateStringHandleA(instance, "MRP40Form", CP_WINANSI);
    const HCONV conversation = DdeConnect(instance, name, topic, nullptr);
    if (conversation != nullptr) {
        DdeDisconnect(conversation);
    }
    DdeFreeStringHandle(instance, topic);
    DdeFreeStringHandle(instance, name);
    DdeUninitialize(instance);
    return conversation != nullptr;
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

ScratchDir::ScratchDir() {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "quillon-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount()) + "-" + std::to_string(++counter) + "\\";
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() {
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

HeldEvent::HeldEvent(const char* base) {
    static int counter = 0;
    name_ = std::string(base) + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(::GetTickCount()) + "-" + std::to_string(++counter);
    event_ = ::CreateEventA(nullptr, TRUE, FALSE, name_.c_str());
}

HeldEvent::~HeldEvent() {
    if (event_ != nullptr) {
        ::CloseHandle(event_);
    }
}

void HeldEvent::Set() const {
    ::SetEvent(event_);
}

bool HeldEvent::WaitSet(DWORD timeoutMs) const {
    return ::WaitForSingleObject(event_, timeoutMs) == WAIT_OBJECT_0;
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
