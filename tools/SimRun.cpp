#include "SimRun.h"

#include <cstdlib>

namespace quillon::tools {

namespace {
volatile LONG g_interrupted = 0;

BOOL WINAPI OnConsoleControl(DWORD) {
    InterlockedExchange(&g_interrupted, 1);
    return TRUE;
}
}  // namespace

SimRun::SimRun() : start_(GetTickCount()) {
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

SimRun::~SimRun() {
    if (quitEvent_ != nullptr) {
        CloseHandle(quitEvent_);
    }
}

HANDLE SimRun::OpenOrCreate(const std::string& name) {
    return CreateEventA(nullptr, TRUE, FALSE, name.c_str());
}

void SimRun::SetQuitEvent(const std::string& name) {
    quitEvent_ = OpenOrCreate(name);
}

bool SimRun::ShouldQuit() const {
    if (g_interrupted != 0) {
        return true;
    }
    if (quitEvent_ != nullptr && WaitForSingleObject(quitEvent_, 0) == WAIT_OBJECT_0) {
        return true;
    }
    return limit_ != 0 && GetTickCount() - start_ >= limit_;
}

bool ParseUnsigned(const char* text, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    return end != text && *end == '\0';
}

}  // namespace quillon::tools
