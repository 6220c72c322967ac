// A DLL dropped into the program's folder under the name of a system DLL
// must not be loaded. The planted version.dll (tests/windows/planted) writes
// a marker file beside itself from DllMain in whatever process loads it.
//
// Wine prefers its own built-in DLLs to a native file of the same name, so
// on Wine nothing would ever be hijacked and these tests could not fail. A
// per-program DLL override (native first) for the two programs started here
// makes Wine take version.dll the way Windows does; the control program
// shows that the override works. Windows ignores the key.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "windows/support/Gateway.h"
#include "windows/support/ImportTable.h"
#include "windows/support/ScratchKey.h"
#include "windows/support/StatusTexts.h"

namespace quillon::testing {
namespace {

constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults\\";
constexpr const char* kPrograms[] = {"control.exe"};
constexpr char kMarker[] = "planted-dll-loaded.txt";

std::string ReadVersionRecord() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, GatewaySection("General").c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return "<no section>";
    }
    char data[64] = {};
    DWORD size = sizeof data - 1;
    const LONG status =
        ::RegQueryValueExA(key, "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(data) : "<absent>";
}

// Wine: version.dll of `program` is taken native first, built-in second.
void PreferNativeVersionDll(const std::string& program, bool prefer) {
    const std::string path = std::string(kAppDefaults) + program + "\\DllOverrides";
    if (!prefer) {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
        return;
    }
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return;
    }
    static const char kOrder[] = "native,builtin";
    ::RegSetValueExA(key, "version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder),
                     sizeof kOrder);
    ::RegCloseKey(key);
}

// Runs `program` with `arguments` and waits for its exit code.
DWORD RunToEnd(const std::string& program, const std::string& arguments) {
    PROCESS_INFORMATION info{};
    DWORD error = 0;
    if (!StartProgram(program, "\"" + program + "\" " + arguments, info, error)) {
        return 0xFFFFFFFF;
    }
    DWORD code = 0xFFFFFFFE;
    if (::WaitForSingleObject(info.hProcess, kDeadlineMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(info.hProcess, &code);
    } else {
        ::TerminateProcess(info.hProcess, 99);
        ::WaitForSingleObject(info.hProcess, 5000);
    }
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return code;
}

class SafeProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* program : kPrograms) {
            PreferNativeVersionDll(program, true);
        }
        ASSERT_TRUE(::CopyFileA(WinePath(QUILLON_PLANTED_DLL).c_str(),
                                (dir_.Path() + "version.dll").c_str(), FALSE));
    }
    void TearDown() override {
        for (const char* program : kPrograms) {
            PreferNativeVersionDll(program, false);
        }
    }

    std::string Copy(const std::string& from, const std::string& name) {
        const std::string to = dir_.Path() + name;
        EXPECT_TRUE(::CopyFileA(from.c_str(), to.c_str(), FALSE)) << from;
        return to;
    }
    std::string Marker() { return ReadWholeFile(dir_.Path() + kMarker); }
    bool MarkerExists() {
        return ::GetFileAttributesA((dir_.Path() + kMarker).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    ScratchDir dir_;
};

TEST_F(SafeProcessTest, AnUnsafeProgramLoadsThePlantedDll) {
    const std::string control = Copy(WinePath(QUILLON_PLANTED_CONTROL), "control.exe");
    ASSERT_EQ(RunToEnd(control, ""), 0u);
    EXPECT_NE(Marker().find("control.exe"), std::string::npos)
        << "the planted DLL was not loaded: the tests below could not fail";
}

TEST_F(SafeProcessTest, TheRestrictedSearchAndTheSystemLoaderSkipTheProgramsFolder) {
    const std::string control = Copy(WinePath(QUILLON_PLANTED_CONTROL), "control.exe");
    // The system's version.dll is found instead of the planted one.
    ASSERT_EQ(RunToEnd(control, "--safe"), 0u);
    EXPECT_FALSE(MarkerExists()) << Marker();
    ASSERT_EQ(RunToEnd(control, "--system"), 0u);
    EXPECT_FALSE(MarkerExists()) << Marker();
}

// DLLs whose every copy the loader takes from the system (KnownDLLs on
// Windows 7 and later); a static import of any other DLL is resolved
// before WinMain, through a search that starts in the program's folder.
bool IsKnownDll(const std::string& name) {
    static const char* const kKnownDlls[] = {
        "kernel32.dll", "user32.dll",  "gdi32.dll",  "advapi32.dll", "ole32.dll",
        "oleaut32.dll", "shell32.dll", "msvcrt.dll", "comdlg32.dll", "shlwapi.dll",
        "imm32.dll",    "psapi.dll",   "ws2_32.dll", "rpcrt4.dll",   "ntdll.dll",
    };
    for (const char* known : kKnownDlls) {
        if (_stricmp(known, name.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

TEST_F(SafeProcessTest, TheGatewayImportsOnlyKnownDlls) {
    const PeImports pe(GatewayExePath());
    ASSERT_EQ(pe.Error(), "") << GatewayExePath();
    const std::vector<std::string>& imported = pe.Imported();
    EXPECT_EQ(pe.DelayLoaded(), std::vector<std::string>{});
    ASSERT_GE(imported.size(), 2u);
    for (const std::string& name : imported) {
        EXPECT_TRUE(IsKnownDll(name)) << name << " could be planted beside the program";
    }
}

// On Wine this cannot fail: Wine's own gdi32 imports version.dll, so with
// version.dll taken native first every program with a window would load
// the planted copy (on Windows gdi32 and its imports come from the
// system). The gateway therefore runs with Wine's usual order here; the
// import table test above is the one that catches a static import.
TEST_F(SafeProcessTest, TheGatewayBesideAPlantedDllOpensWithItsCaptionAndVersion) {
    PreferNativeVersionDll("MRP_Quillon.exe", false);
    ::RegDeleteKeyA(HKEY_CURRENT_USER, GatewaySection("General").c_str());
    Gateway gateway;
    ASSERT_TRUE(::CopyFileA(WinePath(QUILLON_PLANTED_DLL).c_str(),
                            (gateway.Folder() + "version.dll").c_str(), FALSE));
    ASSERT_TRUE(gateway.Start());
    // The caption and the record come from the version resource, read
    // through the system's version.dll.
    EXPECT_EQ(WindowText(gateway.Window()), kCaption);
    EXPECT_EQ(ReadVersionRecord(), "102");
    EXPECT_TRUE(gateway.Close());
    EXPECT_EQ(::GetFileAttributesA((gateway.Folder() + kMarker).c_str()), INVALID_FILE_ATTRIBUTES)
        << ReadWholeFile(gateway.Folder() + kMarker);
}

}  // namespace
}  // namespace quillon::testing
