// bench_memory: prints the memory figures of the running gateway process
// (found by its window class), as Windows reports them.

#include <windows.h>
// psapi.h needs the types of windows.h declared first.
#include <psapi.h>

#include <cstdio>

#include "GatewayWindowFinder.h"

int main(int argc, char**) {
    if (argc > 1) {
        std::puts(
            "usage: bench_memory\n"
            "Prints private bytes, peak private bytes and peak working set of the\n"
            "gateway process, in KiB: \"private <n> peak_private <n> peak_ws <n>\".");
        return 0;
    }
    const HWND gateway = quillon::tools::FindGatewayWindow();
    if (gateway == nullptr) {
        std::fputs("bench_memory: no gateway window\n", stderr);
        return 1;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(gateway, &processId);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (process == nullptr ||
        !GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
        std::fputs("bench_memory: cannot read the process's memory counters\n", stderr);
        return 1;
    }
    CloseHandle(process);
    std::printf("private %llu peak_private %llu peak_ws %llu\n",
                static_cast<unsigned long long>(counters.PrivateUsage / 1024),
                static_cast<unsigned long long>(counters.PeakPagefileUsage / 1024),
                static_cast<unsigned long long>(counters.PeakWorkingSetSize / 1024));
    return 0;
}
