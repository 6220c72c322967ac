// busy_window: a program whose top-level window stops answering for a while,
// as the hidden window of a busy helper thread does. It answers messages for
// --answer-ms, then does not pump at all for --stop-ms, then answers again
// until --run-ms has passed since the start.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void PumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    }
}

}  // namespace

int main(int argc, char** argv) {
    DWORD answerMs = 1500;
    DWORD stopMs = 15000;
    DWORD runMs = 0;
    std::string stoppedEvent;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (hasValue && std::strcmp(argv[i], "--answer-ms") == 0) {
            answerMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else if (hasValue && std::strcmp(argv[i], "--stop-ms") == 0) {
            stopMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else if (hasValue && std::strcmp(argv[i], "--run-ms") == 0) {
            runMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else if (hasValue && std::strcmp(argv[i], "--stopped-event") == 0) {
            stoppedEvent = argv[++i];
        } else {
            std::fputs(
                "usage: busy_window [--answer-ms MS] [--stop-ms MS] [--run-ms MS]\n"
                "                   [--stopped-event NAME]\n"
                "A top-level window that answers messages for --answer-ms (default 1500),\n"
                "then pumps none for --stop-ms (default 15000), signalling the named event\n"
                "as it stops, then answers again until --run-ms after the start (default:\n"
                "1 s after the pause) and ends.\n",
                std::strcmp(argv[i], "--help") == 0 ? stdout : stderr);
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    if (runMs < answerMs + stopMs + 1000) {
        runMs = answerMs + stopMs + 1000;
    }
    const DWORD start = GetTickCount();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QuillonBusyWindow";
    RegisterClassA(&windowClass);
    const HWND window = CreateWindowExA(0, windowClass.lpszClassName, "busy_window", WS_POPUP, 0, 0,
                                        10, 10, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        std::fputs("busy_window: no window\n", stderr);
        return 1;
    }
    PumpFor(answerMs);
    if (!stoppedEvent.empty()) {
        const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, stoppedEvent.c_str());
        SetEvent(event);
        CloseHandle(event);
    }
    std::printf("busy_window: not answering for %lu ms\n", static_cast<unsigned long>(stopMs));
    std::fflush(stdout);
    Sleep(stopMs);
    const DWORD elapsed = GetTickCount() - start;
    PumpFor(elapsed < runMs ? runMs - elapsed : 0);
    DestroyWindow(window);
    return 0;
}
