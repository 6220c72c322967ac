#include "fakes/FakeOsVersion.h"

#include <cstring>

#include "base/RuntimeError.h"

namespace quillon::fakes {

void FakeOsVersion::Set(uint32_t platform, uint32_t majorVersion, uint32_t minorVersion,
                        uint32_t buildNumber, const std::string& servicePack) {
    platformId = platform;
    major = majorVersion;
    minor = minorVersion;
    build = buildNumber;
    csd = servicePack;
}

bool FakeOsVersion::GetVersionExA(OsVersionInfoA& info) {
    ++versionCalls;
    sizeSeen = info.dwOSVersionInfoSize;
    csdSeen.assign(info.szCSDVersion, sizeof info.szCSDVersion);
    if (raiseOnVersion != 0) {
        Raise(raiseOnVersion);
    }
    info.dwPlatformId = platformId;
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.dwBuildNumber = build;
    const size_t length = csd.size() < sizeof info.szCSDVersion ? csd.size() : 127;
    std::memcpy(info.szCSDVersion, csd.data(), length);
    info.szCSDVersion[length] = '\0';
    return true;
}

uint16_t FakeOsVersion::NativeProcessorArchitecture() {
    ++nativeCalls;
    return architecture;
}

}  // namespace quillon::fakes
