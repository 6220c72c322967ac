// sim_signal: signals a named event, so a script can start or stop a
// simulator that waits on --start-event or --quit-event.

#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fputs("usage: sim_signal EVENT-NAME\nSignals the named (manual-reset) event.\n",
                   argc == 2 ? stdout : stderr);
        return argc == 2 ? 0 : 2;
    }
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, argv[1]);
    if (event == nullptr || !SetEvent(event)) {
        std::fprintf(stderr, "sim_signal: cannot signal %s\n", argv[1]);
        return 1;
    }
    // Keep the event alive a moment so a waiter that opens it late still
    // sees it signalled.
    Sleep(1500);
    CloseHandle(event);
    return 0;
}
