#pragma once
// Port: the operating-system version calls (GetVersionExA,
// GetNativeSystemInfo).

#include <cstdint>

namespace quillon {

// The platform record OSVERSIONINFOA (148 bytes).
struct OsVersionInfoA {
    uint32_t dwOSVersionInfoSize = 0;
    uint32_t dwMajorVersion = 0;
    uint32_t dwMinorVersion = 0;
    uint32_t dwBuildNumber = 0;
    uint32_t dwPlatformId = 0;
    char szCSDVersion[128] = {};
};

class OsVersionPort {
  public:
    virtual ~OsVersionPort() = default;
    // Fills `info` as the platform reports it; returns the platform's result.
    virtual bool GetVersionExA(OsVersionInfoA& info) = 0;
    // wProcessorArchitecture of GetNativeSystemInfo.
    virtual uint16_t NativeProcessorArchitecture() = 0;
};

}  // namespace quillon
