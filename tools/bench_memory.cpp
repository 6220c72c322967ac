// bench_memory: prints the memory figures of the running gateway process
// (found by its window class), or of the process of a program named on the
// command line, as Windows reports them.

#include <windows.h>
// psapi.h and tlhelp32.h need the types of windows.h declared first.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

#include "GatewayWindowFinder.h"

namespace {

// The first process whose executable is named `program`, letters in either
// case; 0 if none.
DWORD FindProcess(const char* program) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    DWORD found = 0;
    for (BOOL more = Process32First(snapshot, &entry); more && found == 0;
         more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, program) == 0) {
            found = entry.th32ProcessID;
        }
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && std::strcmp(argv[1], "--help") == 0)) {
        std::puts(
            "usage: bench_memory [PROGRAM.exe]\n"
            "Prints private bytes, peak private bytes and peak working set of the\n"
            "gateway process, or of the running PROGRAM.exe, in KiB:\n"
            "\"private <n> peak_private <n> peak_ws <n>\".");
        return 0;
    }
    DWORD processId = 0;
    if (argc == 2) {
        processId = FindProcess(argv[1]);
    } else if (const HWND gateway = quillon::tools::FindGatewayWindow()) {
        GetWindowThreadProcessId(gateway, &processId);
    }
    if (processId == 0) {
        std::fprintf(stderr, "bench_memory: no process of %s\n",
                     argc == 2 ? argv[1] : "the gateway");
        return 1;
    }
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
