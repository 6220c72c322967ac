// Operating-system identification on the real system: the result agrees
// with what the platform reports. A second run of this program under a
// pretended Windows version (Wine's per-program AppDefaults) exercises
// another row of the decision table for real.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "fakes/FakeLog.h"
#include "sysinfo/OsIdentification.h"
#include "sysinfo/RegistryReader.h"
#include "win32/Win32NumberConversion.h"
#include "win32/Win32OsVersion.h"
#include "win32/Win32Registry.h"
#include "windows/support/ChildProcess.h"
#include "windows/support/DdePeers.h"
#include "windows/support/ScratchKey.h"

namespace quillon {
namespace {

const char* const kCurrentVersion = "Software\\Microsoft\\Windows NT\\CurrentVersion";
const char* const kReportVariable = "QUILLON_OS_REPORT";

struct Identified {
    std::string name;
    int32_t build = 0;
    int16_t bitness = 0;
    std::string log;
};

Identified Identify() {
    fakes::FakeLog memory;  // what the identification reports
    win32::Win32Registry registry;
    win32::Win32OsVersion osVersion;
    win32::Win32NumberConversion numbers;
    RegistryReader reader(registry, memory.log);
    OsIdentification id(osVersion, reader, numbers, memory.log);
    id.OSName = "Unknown";
    id.GetOSVersion();
    return Identified{id.GetOSName(), id.GetOSBuild(), id.OSBitness, memory.Text()};
}

// A value of the CurrentVersion key in the system's native registry view,
// which a 32-bit program on 64-bit Windows does not read by default.
std::string MachineString(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersion, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      &key) != ERROR_SUCCESS) {
        return std::string();
    }
    char buffer[512] = {};
    DWORD size = sizeof buffer;
    const LONG read = RegGetValueA(key, nullptr, name, RRF_RT_REG_SZ, nullptr, buffer, &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS ? buffer : std::string();
}

// 64 or 32, as the suite's ctest registration says.
int16_t ExpectedBitness() {
    const int bits = testing::ExpectedWindowsBitness();
    EXPECT_TRUE(bits == 64 || bits == 32) << "QUILLON_WINDOWS_BITS is not set to 64 or 32";
    return static_cast<int16_t>(bits);
}

int16_t NativeBitness() {
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    return system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                   system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64
               ? 64
               : 32;
}

OSVERSIONINFOA PlatformVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    return info;
}

// The suite runs on the Windows its registration names: the 32-bit suite
// in a 32-bit prefix, a 32-bit program under WoW64 in a 64-bit one.
TEST(OsVersionTest, RunsOnTheWindowsTheSuiteExpects) {
    const int16_t expected = ExpectedBitness();
    EXPECT_EQ(NativeBitness(), expected);
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64 != FALSE, sizeof(void*) == 4 && expected == 64);
}

TEST(OsVersionTest, RealSystemAgreesWithThePlatform) {
    const OSVERSIONINFOA version = PlatformVersion();
    const Identified id = Identify();
    EXPECT_EQ(id.log, "");
    EXPECT_EQ(id.bitness, ExpectedBitness());

    if (version.dwPlatformId == 2 && version.dwMajorVersion == 6 && version.dwMinorVersion != 0 &&
        !MachineString("ProductName").empty()) {
        // The registry branch: Wine's default prefix reports NT 6.1 with a
        // product name and a service pack. A 32-bit program on 64-bit
        // Windows reads its own registry view and must find the same name.
        std::string expected = MachineString("ProductName");
        if (version.szCSDVersion[0] != '\0') {
            expected += " [" + std::string(version.szCSDVersion) + "]";
        }
        EXPECT_EQ(id.name, expected);
        EXPECT_EQ(id.build, std::stol(MachineString("CurrentBuildNumber")));
    } else {
        GTEST_SKIP() << "platform reports " << version.dwPlatformId << "." << version.dwMajorVersion
                     << "." << version.dwMinorVersion << ", not the registry branch";
    }
}

// Run only as the child of PretendedVistaTakesTheFixedRow: writes what it
// identified to the file named by QUILLON_OS_REPORT.
TEST(OsVersionTest, DISABLED_ReportForParent) {
    char path[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableA(kReportVariable, path, MAX_PATH), 0u);
    const OSVERSIONINFOA version = PlatformVersion();
    const Identified id = Identify();
    std::ofstream out(path);
    out << id.name << '\n'
        << id.build << '\n'
        << id.bitness << '\n'
        << version.dwPlatformId << '.' << version.dwMajorVersion << '.' << version.dwMinorVersion
        << '.' << version.dwBuildNumber << '\n';
}

// The program copied under another name, with Version "vista" set for that
// name under HKCU\Software\Wine\AppDefaults, runs the child test above.
TEST(OsVersionTest, PretendedVistaTakesTheFixedRow) {
    char self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string folder(self);
    folder.erase(folder.find_last_of('\\') + 1);
    const std::string copyName = "OsVersionVista" + std::to_string(GetCurrentProcessId()) + ".exe";
    const std::string copy = folder + copyName;
    const std::string report = folder + copyName + ".txt";
    ASSERT_TRUE(CopyFileA(self, copy.c_str(), FALSE));
    const testing::ScratchKey appDefaults("Software\\Wine\\AppDefaults\\" + copyName);
    appDefaults.Put("Version", "vista");

    SetEnvironmentVariableA(kReportVariable, report.c_str());
    DWORD exitCode = 1;
    bool started = false;
    {
        testing::ChildProcess child;
        started = child.Start(copy,
                              {"--gtest_also_run_disabled_tests",
                               "--gtest_filter=OsVersionTest.DISABLED_ReportForParent"},
                              false);
        if (started && child.WaitForExit(60000)) {
            exitCode = child.ExitCode();
        }
    }
    SetEnvironmentVariableA(kReportVariable, nullptr);
    DeleteFileA(copy.c_str());

    ASSERT_TRUE(started);
    EXPECT_EQ(exitCode, 0u);
    std::ifstream in(report);
    std::string name, build, bitness, version;
    std::getline(in, name);
    std::getline(in, build);
    std::getline(in, bitness);
    std::getline(in, version);
    in.close();
    DeleteFileA(report.c_str());

    ASSERT_EQ(version.rfind("2.6.0.", 0), 0u) << "the pretended version did not apply: " << version;
    EXPECT_EQ(name, "Vista");
    EXPECT_EQ(build, version.substr(6));  // the build of the version query
    EXPECT_EQ(bitness, std::to_string(ExpectedBitness()));
}

}  // namespace
}  // namespace quillon
