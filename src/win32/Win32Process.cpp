#include "win32/Win32Process.h"

#include "base/RuntimeError.h"

namespace quillon::win32 {

bool Win32Process::PrevInstance() {
    if (!asked_) {
        instanceMutex_.Reset(::CreateMutexA(nullptr, FALSE, instanceName_.c_str()));
        if (!instanceMutex_.Valid()) {
            // ERROR_ACCESS_DENIED: the mutex exists but was made by a copy
            // running with other rights; it is a running copy all the same.
            if (::GetLastError() == ERROR_ACCESS_DENIED) {
                asked_ = true;
                previousInstance_ = true;
                return true;
            }
            Raise(kErrInternal);
        }
        previousInstance_ = ::GetLastError() == ERROR_ALREADY_EXISTS;
        asked_ = true;
    }
    return previousInstance_;
}

void Win32Process::ShowMessage(const std::string& text, const std::string& title) {
    ::MessageBoxA(owner_, text.c_str(), title.c_str(), MB_OK);
}

void Win32Process::DoEvents() {
    // Dispatch what is waiting now. Handlers may post more messages while
    // they run; the bound keeps one call from pumping for ever.
    constexpr int kMostMessages = 10000;
    MSG message{};
    for (int count = 0; count < kMostMessages; ++count) {
        if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            return;
        }
        if (message.message == WM_QUIT) {
            // The main loop must still see it.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

void Win32Process::Sleep(uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

void Win32Process::EndProcess() {
    ::ExitProcess(0);
}

}  // namespace quillon::win32
