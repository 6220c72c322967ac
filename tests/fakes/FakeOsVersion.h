#pragma once
// The version calls with a record chosen by the test.

#include <cstdint>
#include <string>

#include "ports/OsVersionPort.h"

namespace quillon::fakes {

class FakeOsVersion : public OsVersionPort {
  public:
    uint32_t platformId = 2;
    uint32_t major = 6;
    uint32_t minor = 1;
    uint32_t build = 7601;
    // Written into szCSDVersion with its NUL; the rest keeps what the caller
    // put there (blanks).
    std::string csd;
    uint16_t architecture = 9;
    int32_t raiseOnVersion = 0;  // raise this run-time error from GetVersionExA

    int versionCalls = 0;
    int nativeCalls = 0;
    uint32_t sizeSeen = 0;
    std::string csdSeen;  // szCSDVersion as the caller handed it over

    void Set(uint32_t platform, uint32_t majorVersion, uint32_t minorVersion, uint32_t buildNumber,
             const std::string& servicePack = "");

    bool GetVersionExA(OsVersionInfoA& info) override;
    uint16_t NativeProcessorArchitecture() override;
};

}  // namespace quillon::fakes
