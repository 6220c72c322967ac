// The released program must start on a bare Windows: every function it
// imports, directly or delay-loaded, must exist on Windows 7 in a DLL that
// Windows itself ships. The set is pinned by DLL, so a forgotten static link
// (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll) or a new
// function is noticed and looked up. SafeProcessTest checks the DLL names
// against those that cannot be planted beside the program.

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <sstream>
#include <string>

#include "windows/support/ChildProcess.h"
#include "windows/support/ImportTable.h"

namespace quillon {
namespace {

// Every function the gateway imports, per DLL, by the width of the build
// (0: both). Each one's documented minimum client was looked up and is
// Windows 7 or older: most are Windows 2000 or XP, GetTickCount64 Vista,
// SetDllDirectoryA XP SP1. RtlUnwindEx and __C_specific_handler have no
// requirements table; they belong to the x64 exception handling of every
// 64-bit Windows, as do the documented XP ones beside them. The msvcrt.dll
// functions are the C runtime's of every Windows, imported by the mingw-w64
// start-up code and its C++ library. A function that is not here fails the test until its
// minimum client has been looked up and it is added.
struct PinnedImports {
    const char* dll;
    int bits;
    const char* functions;  // separated by spaces
};
const PinnedImports kPinnedImports[] = {
    {"advapi32.dll", 0,
     "RegCloseKey RegCreateKeyExA RegEnumValueA RegOpenKeyExA RegQueryValueExA "
     "RegSetValueExA"},
    {"gdi32.dll", 0, "CreateFontA DeleteObject GetDeviceCaps SetBkColor SetTextColor"},
    {"kernel32.dll", 0,
     "AddVectoredExceptionHandler CloseHandle CreateEventA CreateFileW CreateMutexA "
     "CreateProcessW CreateSemaphoreA DeleteCriticalSection DuplicateHandle "
     "EnterCriticalSection ExitProcess FreeLibrary GetCurrentProcess "
     "GetCurrentProcessId GetCurrentThread GetCurrentThreadId GetFileAttributesExW "
     "GetHandleInformation GetLastError GetLocaleInfoA GetModuleFileNameW "
     "GetModuleHandleA GetModuleHandleW GetNativeSystemInfo GetProcAddress "
     "GetProcessAffinityMask GetStartupInfoA GetSystemDirectoryA GetSystemTime "
     "GetSystemTimeAsFileTime GetSystemWindowsDirectoryW GetThreadContext "
     "GetThreadPriority GetTickCount GetTickCount64 GetVersionExA GlobalAddAtomA "
     "GlobalGetAtomNameA "
     "GlobalAlloc GlobalDeleteAtom GlobalFree GlobalLock GlobalSize GlobalUnlock "
     "InitializeCriticalSection IsDBCSLeadByteEx IsDebuggerPresent "
     "LeaveCriticalSection LoadLibraryExA LoadLibraryW MultiByteToWideChar "
     "OpenProcess OutputDebugStringA RaiseException ReleaseSemaphore "
     "RemoveVectoredExceptionHandler ResetEvent ResumeThread SetDllDirectoryA "
     "SetEvent SetLastError SetProcessAffinityMask SetThreadContext "
     "SetThreadPriority SetUnhandledExceptionFilter Sleep SuspendThread TlsAlloc "
     "TlsGetValue TlsSetValue TryEnterCriticalSection VirtualProtect VirtualQuery "
     "WaitForMultipleObjects WaitForSingleObject WideCharToMultiByte WriteFile"},
    {"kernel32.dll", 64,
     "__C_specific_handler RtlCaptureContext RtlLookupFunctionEntry RtlUnwindEx "
     "RtlVirtualUnwind"},
    {"kernel32.dll", 32, "LoadLibraryA"},
    {"msvcrt.dll", 0,
     "abort _amsg_exit _beginthreadex calloc _cexit _close _endthreadex _errno exit "
     "fprintf fputc fputs free fwrite __getmainargs __initenv _initterm localeconv "
     "longjmp malloc memchr memcmp memcpy memmove memset _onexit printf _read "
     "realloc __set_app_type __setusermatherr signal strcmp _strdup strerror strlen "
     "strncmp strpbrk _ultoa vfprintf wcslen"},
    {"msvcrt.dll", 64,
     "_acmdln _commode _fmode __iob_func ___lc_codepage_func ___mb_cur_max_func "
     "_setjmp"},
    {"msvcrt.dll", 32,
     "atoi _iob __mb_cur_max __p__acmdln __p__commode __p__fmode _setjmp3 setlocale "
     "strchr"},
    {"ole32.dll", 0, "CoInitializeEx CoUninitialize"},
    {"oleaut32.dll", 0, "VarBoolFromStr VarI2FromStr VarI4FromStr"},
    {"shell32.dll", 0, "ShellExecuteExW"},
    {"user32.dll", 0,
     "AdjustWindowRectEx CreateWindowExA DefWindowProcA DestroyWindow "
     "DispatchMessageA EnumDisplayMonitors EnumWindows FreeDDElParam GetClassInfoExA "
     "GetDC GetMessageA GetMonitorInfoA GetSysColor GetSysColorBrush GetSystemMetrics "
     "GetWindowPlacement GetWindowRect GetWindowTextA GetWindowTextLengthA "
     "GetWindowThreadProcessId IsIconic IsWindow IsWindowVisible IsZoomed KillTimer "
     "LoadCursorA LoadIconA LoadImageA MessageBoxA MonitorFromRect MonitorFromWindow "
     "MsgWaitForMultipleObjects OffsetRect PackDDElParam PeekMessageA PostMessageA "
     "PostQuitMessage RegisterClassA RegisterClassExA ReleaseDC ReuseDDElParam "
     "SendMessageA SendMessageTimeoutA SetCursor SetTimer SetWindowPlacement "
     "SetWindowPos SetWindowTextA ShowWindow TranslateMessage UnpackDDElParam "
     "UpdateWindow"},
    {"user32.dll", 64, "GetWindowLongPtrA SetWindowLongPtrA"},
    {"user32.dll", 32, "GetWindowLongA SetWindowLongA"},
};

std::set<std::string> PinnedFunctions(int bits) {
    std::set<std::string> pinned;
    for (const PinnedImports& entry : kPinnedImports) {
        if (entry.bits == 0 || entry.bits == bits) {
            std::istringstream names(entry.functions);
            for (std::string name; names >> name;) {
                pinned.insert(std::string(entry.dll) + "!" + name);
            }
        }
    }
    return pinned;
}

TEST(ImportTableTest, GatewayImportsExactlyThePinnedFunctions) {
    const std::string path = testing::GatewayExePath();
    const testing::PeImports pe(path);
    ASSERT_EQ(pe.Error(), "") << path;
    const std::set<std::string> pinned = PinnedFunctions(sizeof(void*) == 8 ? 64 : 32);
    const std::set<std::string>& found = pe.Functions();
    for (const std::string& function : found) {
        EXPECT_EQ(pinned.count(function), 1u)
            << function << " is a new import: look up its minimum client and pin it";
    }
    for (const std::string& function : pinned) {
        EXPECT_EQ(found.count(function), 1u) << function << " is pinned but no longer imported";
    }
}

}  // namespace
}  // namespace quillon
