// The released program must start on a bare Windows: every DLL it imports,
// directly or delay-loaded, has to be one that Windows itself ships. A
// forgotten static link shows up here as libstdc++-6.dll, libgcc_s_seh-1.dll
// or libwinpthread-1.dll. And every function it imports must exist on
// Windows 7: the set is pinned, so a new one is noticed and looked up.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "windows/support/ChildProcess.h"

namespace quillon {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// DLLs that are part of every Windows the program supports.
bool IsWindowsDll(const std::string& name) {
    static const char* const kSystemDlls[] = {
        "kernel32.dll", "user32.dll",  "gdi32.dll",  "advapi32.dll", "oleaut32.dll", "ole32.dll",
        "shell32.dll",  "version.dll", "msvcrt.dll", "comctl32.dll", "comdlg32.dll", "shlwapi.dll",
        "ntdll.dll",    "psapi.dll",   "winmm.dll",  "imm32.dll",    "uxtheme.dll",  "ws2_32.dll",
    };
    const std::string lower = Lower(name);
    if (lower.rfind("api-ms-win-", 0) == 0) {
        return true;  // API sets, resolved by the loader to system DLLs
    }
    return std::find(std::begin(kSystemDlls), std::end(kSystemDlls), lower) !=
           std::end(kSystemDlls);
}

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
     "AddVectoredExceptionHandler CloseHandle CreateEventA CreateFileA CreateMutexA "
     "CreateProcessA CreateSemaphoreA DeleteCriticalSection DuplicateHandle "
     "EnterCriticalSection ExitProcess FreeLibrary GetCurrentProcess "
     "GetCurrentProcessId GetCurrentThread GetCurrentThreadId GetFileAttributesExA "
     "GetHandleInformation GetLastError GetModuleFileNameA GetModuleHandleA "
     "GetModuleHandleW GetNativeSystemInfo GetProcAddress GetProcessAffinityMask "
     "GetStartupInfoA GetSystemDirectoryA GetSystemTime GetSystemTimeAsFileTime "
     "GetThreadContext GetThreadPriority GetTickCount64 GetVersionExA "
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
    {"shell32.dll", 0, "ShellExecuteExA"},
    {"user32.dll", 0,
     "AdjustWindowRectEx CreateWindowExA DdeAccessData DdeClientTransaction "
     "DdeConnect DdeCreateStringHandleA DdeDisconnect DdeFreeStringHandle "
     "DdeGetLastError DdeInitializeA DdeQueryConvInfo DdeUnaccessData "
     "DdeUninitialize DefWindowProcA DestroyWindow DispatchMessageA "
     "EnumDisplayMonitors GetClassInfoExA GetDC GetMessageA GetMonitorInfoA "
     "GetSysColor GetSysColorBrush GetSystemMetrics GetWindowPlacement GetWindowRect "
     "GetWindowTextA GetWindowTextLengthA IsIconic IsWindow IsWindowVisible IsZoomed "
     "KillTimer LoadCursorA LoadIconA LoadImageA MessageBoxA MonitorFromRect "
     "MonitorFromWindow OffsetRect PeekMessageA PostMessageA PostQuitMessage "
     "RegisterClassA RegisterClassExA ReleaseDC SendMessageA SetCursor SetTimer "
     "SetWindowPlacement SetWindowPos SetWindowTextA ShowWindow TranslateMessage "
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

// The DLL names in a PE file's import and delay-load tables, read from the
// file itself (not loaded: a missing DLL must be reported, not fail here).
class PeImports {
  public:
    explicit PeImports(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        Parse();
    }

    const std::string& Error() const { return error_; }
    const std::vector<std::string>& Imported() const { return imported_; }
    const std::vector<std::string>& DelayLoaded() const { return delayLoaded_; }
    // "dll!function" for every function imported or delay-loaded, the DLL
    // name in lower case; an import by ordinal as "dll!#ordinal".
    const std::set<std::string>& Functions() const { return functions_; }

  private:
    template <typename T>
    bool Read(size_t offset, T& value) const {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) {
            return false;
        }
        std::memcpy(&value, bytes_.data() + offset, sizeof(T));
        return true;
    }

    // The file offset of a relative virtual address, through the sections.
    bool FileOffset(uint32_t rva, size_t& offset) const {
        for (const IMAGE_SECTION_HEADER& section : sections_) {
            const uint32_t size = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
                offset = size_t{section.PointerToRawData} + (rva - section.VirtualAddress);
                return true;
            }
        }
        return false;
    }

    bool ReadName(uint32_t rva, std::string& name) const {
        size_t offset = 0;
        if (!FileOffset(rva, offset) || offset >= bytes_.size()) {
            return false;
        }
        const char* start = bytes_.data() + offset;
        const void* end = std::memchr(start, '\0', bytes_.size() - offset);
        if (end == nullptr) {
            return false;
        }
        name.assign(start, static_cast<const char*>(end));
        return true;
    }

    void Parse() {
        IMAGE_DOS_HEADER dos{};
        if (!Read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) {
            error_ = "no DOS header";
            return;
        }
        const size_t ntOffset = static_cast<size_t>(dos.e_lfanew);
        DWORD signature = 0;
        IMAGE_FILE_HEADER fileHeader{};
        WORD magic = 0;
        const size_t optionalOffset = ntOffset + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
        if (!Read(ntOffset, signature) || signature != IMAGE_NT_SIGNATURE ||
            !Read(ntOffset + sizeof(DWORD), fileHeader) || !Read(optionalOffset, magic)) {
            error_ = "no PE header";
            return;
        }
        IMAGE_DATA_DIRECTORY imports{};
        IMAGE_DATA_DIRECTORY delayImports{};
        // The two optional header layouts differ in width, not in the fields
        // read here.
        const auto readOptional = [&](auto optional) {
            if (!Read(optionalOffset, optional)) {
                error_ = "short optional header";
                return false;
            }
            imageBase_ = optional.ImageBase;
            thunkSize_ = sizeof(optional.ImageBase);
            imports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
            delayImports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
            return true;
        };
        if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
            if (!readOptional(IMAGE_OPTIONAL_HEADER64{})) {
                return;
            }
        } else if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
            if (!readOptional(IMAGE_OPTIONAL_HEADER32{})) {
                return;
            }
        } else {
            error_ = "unknown optional header";
            return;
        }
        const size_t sectionOffset = optionalOffset + fileHeader.SizeOfOptionalHeader;
        for (WORD i = 0; i < fileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section{};
            if (!Read(sectionOffset + i * sizeof(section), section)) {
                error_ = "short section table";
                return;
            }
            sections_.push_back(section);
        }
        ReadImports(imports);
        ReadDelayImports(delayImports);
    }

    void ReadImports(const IMAGE_DATA_DIRECTORY& directory) {
        size_t offset = 0;
        if (directory.VirtualAddress == 0 || !FileOffset(directory.VirtualAddress, offset)) {
            return;
        }
        for (IMAGE_IMPORT_DESCRIPTOR entry{}; Read(offset, entry) && entry.Name != 0;
             offset += sizeof(entry)) {
            std::string name;
            if (!ReadName(entry.Name, name)) {
                error_ = "unreadable import name";
                return;
            }
            imported_.push_back(name);
            ReadFunctions(
                name, entry.OriginalFirstThunk != 0 ? entry.OriginalFirstThunk : entry.FirstThunk,
                false);
        }
    }

    // A table of thunks, as wide as the image's addresses, ends with zero.
    // Each names a function (hint, then name) or, with the top bit set, an
    // ordinal. In an old-style delay-load table the entries are addresses.
    void ReadFunctions(const std::string& dll, uint32_t tableRva, bool addresses) {
        size_t offset = 0;
        if (tableRva == 0 || !FileOffset(tableRva, offset)) {
            error_ = "no name table for " + dll;
            return;
        }
        const uint64_t ordinalFlag = uint64_t{1} << (thunkSize_ * 8 - 1);
        for (;; offset += thunkSize_) {
            uint64_t thunk = 0;
            if (offset > bytes_.size() || bytes_.size() - offset < thunkSize_) {
                error_ = "short name table for " + dll;
                return;
            }
            std::memcpy(&thunk, bytes_.data() + offset, thunkSize_);
            if (thunk == 0) {
                return;
            }
            std::string function;
            if ((thunk & ordinalFlag) != 0) {
                function = "#" + std::to_string(thunk & 0xFFFF);
            } else {
                const uint64_t rva = addresses ? thunk - imageBase_ : thunk;
                if (!ReadName(static_cast<uint32_t>(rva + sizeof(WORD)), function)) {
                    error_ = "unreadable function name in " + dll;
                    return;
                }
            }
            functions_.insert(Lower(dll) + "!" + function);
        }
    }

    void ReadDelayImports(const IMAGE_DATA_DIRECTORY& directory) {
        size_t offset = 0;
        if (directory.VirtualAddress == 0 || !FileOffset(directory.VirtualAddress, offset)) {
            return;
        }
        // ImgDelayDescr: attributes, then the DLL name. Without the
        // "RVA-based" attribute bit the name is a virtual address.
        struct DelayDescriptor {
            uint32_t attributes;
            uint32_t dllName;
            uint32_t rest[6];
        };
        for (DelayDescriptor entry{}; Read(offset, entry) && entry.dllName != 0;
             offset += sizeof(entry)) {
            uint32_t rva = entry.dllName;
            if ((entry.attributes & 1) == 0) {
                rva = static_cast<uint32_t>(entry.dllName - imageBase_);
            }
            std::string name;
            if (!ReadName(rva, name)) {
                error_ = "unreadable delay-load name";
                return;
            }
            delayLoaded_.push_back(name);
            const bool addresses = (entry.attributes & 1) == 0;
            const uint32_t names = entry.rest[2];  // the import name table
            ReadFunctions(name, addresses ? static_cast<uint32_t>(names - imageBase_) : names,
                          addresses);
        }
    }

    std::vector<char> bytes_;
    std::vector<IMAGE_SECTION_HEADER> sections_;
    uint64_t imageBase_ = 0;
    size_t thunkSize_ = 8;
    std::vector<std::string> imported_;
    std::vector<std::string> delayLoaded_;
    std::set<std::string> functions_;
    std::string error_;
};

TEST(ImportTableTest, AllowListKnowsWindowsFromRuntimeDlls) {
    EXPECT_TRUE(IsWindowsDll("KERNEL32.dll"));
    EXPECT_TRUE(IsWindowsDll("api-ms-win-crt-runtime-l1-1-0.dll"));
    for (const char* foreign : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll",
                                "kernel32.dll.evil", "msvcp140.dll"}) {
        EXPECT_FALSE(IsWindowsDll(foreign)) << foreign;
    }
}

TEST(ImportTableTest, GatewayImportsOnlyWindowsDlls) {
    const std::string path = testing::GatewayExePath();
    const PeImports pe(path);
    ASSERT_EQ(pe.Error(), "") << path;

    std::vector<std::string> found;
    for (const std::string& name : pe.Imported()) {
        std::printf("  imports       %s\n", name.c_str());
        found.push_back(Lower(name));
    }
    for (const std::string& name : pe.DelayLoaded()) {
        std::printf("  delay-loads   %s\n", name.c_str());
        found.push_back(Lower(name));
    }
    // The window and the DDE client cannot work without these two: an
    // empty or garbled list means the table was not read.
    EXPECT_NE(std::find(found.begin(), found.end(), "kernel32.dll"), found.end());
    EXPECT_NE(std::find(found.begin(), found.end(), "user32.dll"), found.end());
    for (const std::string& name : found) {
        EXPECT_TRUE(IsWindowsDll(name)) << name << " is not part of Windows";
    }
}

TEST(ImportTableTest, GatewayImportsExactlyThePinnedFunctions) {
    const std::string path = testing::GatewayExePath();
    const PeImports pe(path);
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
