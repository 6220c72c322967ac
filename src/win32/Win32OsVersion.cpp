#include "win32/Win32OsVersion.h"

#include <windows.h>

#include <cstring>

namespace quillon::win32 {

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is the 148-byte record");
static_assert(sizeof(OsVersionInfoA) == sizeof(OSVERSIONINFOA), "the port mirrors the record");

bool Win32OsVersion::GetVersionExA(OsVersionInfoA& info) {
    // The record goes in as the caller filled it (size and the blanks in
    // szCSDVersion) and comes back as the call left it.
    OSVERSIONINFOA record;
    record.dwOSVersionInfoSize = info.dwOSVersionInfoSize;
    record.dwMajorVersion = info.dwMajorVersion;
    record.dwMinorVersion = info.dwMinorVersion;
    record.dwBuildNumber = info.dwBuildNumber;
    record.dwPlatformId = info.dwPlatformId;
    std::memcpy(record.szCSDVersion, info.szCSDVersion, sizeof record.szCSDVersion);

    // GetVersionExA is deprecated in the headers because, without a
    // supported-OS declaration, Windows 8.1 and later report 6.2. The
    // identification relies on exactly that (it then reads the registry),
    // so the call is wanted here and only its warning is silenced.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL ok = ::GetVersionExA(&record);
#pragma GCC diagnostic pop

    info.dwOSVersionInfoSize = record.dwOSVersionInfoSize;
    info.dwMajorVersion = record.dwMajorVersion;
    info.dwMinorVersion = record.dwMinorVersion;
    info.dwBuildNumber = record.dwBuildNumber;
    info.dwPlatformId = record.dwPlatformId;
    std::memcpy(info.szCSDVersion, record.szCSDVersion, sizeof info.szCSDVersion);
    return ok != FALSE;
}

uint16_t Win32OsVersion::NativeProcessorArchitecture() {
    SYSTEM_INFO system{};
    ::GetNativeSystemInfo(&system);
    return system.wProcessorArchitecture;
}

}  // namespace quillon::win32
