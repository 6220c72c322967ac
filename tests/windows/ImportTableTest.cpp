// The released program must start on a bare Windows: every DLL it imports,
// directly or delay-loaded, has to be one that Windows itself ships. A
// forgotten static link shows up here as libstdc++-6.dll, libgcc_s_seh-1.dll
// or libwinpthread-1.dll.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "windows/support/ChildProcess.h"
#include "windows/support/ImportTable.h"

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
    const testing::PeImports pe(path);
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

}  // namespace
}  // namespace quillon
