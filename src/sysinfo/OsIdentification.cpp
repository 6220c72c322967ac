#include "sysinfo/OsIdentification.h"

#include <algorithm>

#include "base/ErrorTrap.h"
#include "ports/RegistryPort.h"
#include "sysinfo/RegistryReader.h"
#include "sysinfo/TrimBlanks.h"

namespace quillon {

namespace {

constexpr const char* kCurrentVersionKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr uint16_t kProcessorArchitectureIa64 = 6;
constexpr uint16_t kProcessorArchitectureAmd64 = 9;

}  // namespace

OsIdentification::OsIdentification(OsVersionPort& osVersion, RegistryReader& registry,
                                   NumberConversionPort& numbers, ErrorLog& log)
    : osVersion_(osVersion), registry_(registry), numbers_(numbers), log_(log) {}

void OsIdentification::GetOSVersion() {
    Trap(log_, "Common.GetOSVersion", [&] {
        log_.DebugLog("Common.GetOSVersion");

        OsVersionInfoA info{};
        std::fill(std::begin(info.szCSDVersion), std::end(info.szCSDVersion), ' ');
        info.dwOSVersionInfoSize = 148;
        (void)osVersion_.GetVersionExA(info);  // the result is not looked at

        OSBuild = static_cast<int32_t>(info.dwBuildNumber);  // upper bits kept
        // The whole field, NULs and the blanks the call left included.
        const std::string csdText(info.szCSDVersion, sizeof info.szCSDVersion);

        OSName = "unknown (" + std::to_string(info.dwPlatformId) + "." +
                 std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
                 ")";
        OSBitness = 16;

        if (ApplyDecisionTable(info, csdText)) {
            const uint16_t architecture = osVersion_.NativeProcessorArchitecture();
            OSBitness = (architecture == kProcessorArchitectureAmd64 ||
                         architecture == kProcessorArchitectureIa64)
                            ? 64
                            : 32;
        }
    });
}

bool OsIdentification::ApplyDecisionTable(const OsVersionInfoA& info, const std::string& csdText) {
    const uint32_t platform = info.dwPlatformId;
    const uint32_t major = info.dwMajorVersion;
    const uint32_t minor = info.dwMinorVersion;

    if (platform == 0) {
        OSName = "Windows 3.1";
        return false;
    }
    if (platform == 1) {
        // The 9x family keeps word length 16.
        if (minor == 0) {
            OSName = "Windows 95";
        } else if (minor == 10) {
            OSName = "Windows 98";
        } else if (minor == 90) {
            OSName = "Windows Millennium";
        }
        return false;
    }
    if (platform != 2) {
        return false;
    }
    switch (major) {
        case 3:
            OSName = "Windows NT 3.51";
            OSBitness = 32;
            return false;
        case 4:
            OSName = "Windows NT 4.0";
            OSBitness = 32;
            return false;
        case 5:
            if (minor == 0) {
                OSName = "Windows 2000";
                OSBitness = 32;
            } else if (minor == 1) {
                OSName = "Windows XP";
                return true;
            } else if (minor == 2) {
                OSName = "Windows Server";
                OSBitness = 32;
            }
            return false;
        case 6:
            if (minor == 0) {
                OSName = "Vista";
            } else {
                ReadRegistry(info, csdText);
            }
            return true;
        default:
            return false;
    }
}

void OsIdentification::ReadRegistry(const OsVersionInfoA& info, const std::string& csdText) {
    OSBuild = 0;
    if (registry_.KeyValuePresent(kHKeyLocalMachine, kCurrentVersionKey, "CurrentBuildNumber")) {
        // Text that is no number (empty text included) leaves 0, unreported.
        IgnoreErrors([&] {
            OSBuild = numbers_.ToLong(
                registry_.GetKeyValue(kHKeyLocalMachine, kCurrentVersionKey, "CurrentBuildNumber"));
        });
    }

    if (registry_.KeyValuePresent(kHKeyLocalMachine, kCurrentVersionKey, "ProductName")) {
        OSName = registry_.GetKeyValue(kHKeyLocalMachine, kCurrentVersionKey, "ProductName");
        if (!TrimBlanks(csdText).empty()) {
            const std::string servicePack = CSDVersionTrim(csdText);
            if (!servicePack.empty()) {
                OSName += " [" + servicePack + "]";
            }
        }
        return;
    }

    switch (info.dwMinorVersion) {
        case 1:
            OSName = "Windows 7";
            break;
        case 2:
            OSName = "Windows 8";
            break;
        case 3:
            if (OSBuild == 0) {
                OSName = "?";
            } else if (OSBuild < 10000) {
                OSName = "Windows 8.1";
            } else {
                OSName = "Windows 10";
            }
            break;
        default:  // keep the fallback name
            break;
    }
}

std::string OsIdentification::GetOSName() {
    std::string result;
    Trap(log_, "Common.GetOSName", [&] { result = OSName; });
    return result;
}

int32_t OsIdentification::GetOSBuild() {
    int32_t result = 0;
    Trap(log_, "Common.GetOSBuild", [&] { result = OSBuild; });
    return result;
}

std::string OsIdentification::CSDVersionTrim(const std::string& text) {
    std::string result;
    Trap(log_, "Common.CSDVersionTrim", [&] {
        const std::string trimmed = TrimBlanks(text);
        result = trimmed.substr(0, trimmed.find('\0'));
    });
    return result;
}

}  // namespace quillon
