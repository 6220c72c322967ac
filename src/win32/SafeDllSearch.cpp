#include "win32/SafeDllSearch.h"

#include <cstring>
#include <string>

namespace quillon::win32 {

namespace {

// SetDefaultDllDirectories and the LOAD_LIBRARY_SEARCH_* flags arrived with
// Windows 8 (and an update to Windows 7). On a loader without them
// LoadLibraryExA fails with ERROR_INVALID_PARAMETER on those flags, so
// their presence is asked of kernel32 first.
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) {
        return nullptr;
    }
    // Through void(*)(): a direct cast between unrelated function pointer
    // types is what -Wcast-function-type warns about.
    return reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
}

bool HasSearchFlags() {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    return kernel != nullptr && ::GetProcAddress(kernel, "AddDllDirectory") != nullptr;
}

}  // namespace

bool RestrictDllSearch() {
    // "" (not null) removes the current directory from the search order of
    // LoadLibrary; null would restore the default.
    ::SetDllDirectoryA("");
    const SetDefaultDllDirectoriesFunction setDefault = FindSetDefaultDllDirectories();
    return setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

HMODULE LoadSystemLibrary(const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0' || std::strpbrk(fileName, "\\/:") != nullptr) {
        return nullptr;
    }
    if (HasSearchFlags()) {
        return ::LoadLibraryExA(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // An older loader: a full path to the system folder is never searched
    // for. (The DLL's own imports follow the default order there, but the
    // DLLs loaded this way import only KnownDLLs.)
    char folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::string path = std::string(folder, length) + "\\" + fileName;
    return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace quillon::win32
