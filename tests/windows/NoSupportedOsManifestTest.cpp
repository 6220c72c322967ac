// The gateway executable must declare no supported operating systems: with
// such a declaration Windows 10 and later report their true version to
// GetVersionExA and the OS identification falls back to "unknown (2.10.0)"
// instead of reading the product name from the registry. It must declare
// itself DPI-aware, or Windows stretches its window, blurred, at 125% and
// above; and it must not ask for the visual styles, which would change its
// look.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

// The gateway is built at the top of the build tree; this test program
// lives in tests\windows below it.
std::string GatewayPath() {
    char self[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, self, MAX_PATH) == 0) {
        return std::string();
    }
    std::string path(self);
    for (int level = 0; level < 3; ++level) {
        const size_t slash = path.find_last_of("\\/");
        if (slash == std::string::npos) {
            return std::string();
        }
        path.erase(slash);
    }
    return path + "\\MRP_Quillon.exe";
}

BOOL CALLBACK CollectManifest(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    auto* manifests = reinterpret_cast<std::vector<std::string>*>(param);
    HRSRC found = FindResourceA(module, name, type);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes != nullptr) {
        manifests->emplace_back(static_cast<const char*>(bytes), SizeofResource(module, found));
    }
    return TRUE;
}

// The text of every RT_MANIFEST resource of the executable at `path`,
// loaded as data so that nothing of it runs.
std::vector<std::string> ManifestsOf(const std::string& path) {
    std::vector<std::string> manifests;
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    EXPECT_NE(module, nullptr) << "cannot load " << path << " as data, error " << GetLastError();
    if (module != nullptr) {
        EnumResourceNamesA(module, MAKEINTRESOURCEA(24) /* RT_MANIFEST */, CollectManifest,
                           reinterpret_cast<LONG_PTR>(&manifests));
        FreeLibrary(module);
    }
    return manifests;
}

bool DeclaresSupportedOs(const std::vector<std::string>& manifests) {
    for (const std::string& manifest : manifests) {
        if (manifest.find("supportedOS") != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(NoSupportedOsManifestTest, GatewayDeclaresNoSupportedOs) {
    const std::string path = GatewayPath();
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "the gateway executable is not built yet: " << path;
    }
    const std::vector<std::string> manifests = ManifestsOf(path);
    EXPECT_FALSE(DeclaresSupportedOs(manifests))
        << (manifests.empty() ? std::string() : manifests.front());
}

// The declaration is read as text. Should the <application> element lose
// its namespace, Windows would no longer see the program as DPI-aware and
// would stretch it; this check would still pass, and so would the program
// under Wine, which takes it as DPI-aware all the same: only Windows would
// show it.
TEST(NoSupportedOsManifestTest, GatewayDeclaresItselfDpiAwareAndKeepsTheClassicLook) {
    const std::string path = GatewayPath();
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "the gateway executable is not built yet: " << path;
    }
    // Windows reads the manifest of id 1 when it starts a program.
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    const bool hasId1 = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) != nullptr;
    FreeLibrary(module);
    EXPECT_TRUE(hasId1);
    const std::vector<std::string> manifests = ManifestsOf(path);
    ASSERT_EQ(manifests.size(), 1u);
    EXPECT_NE(manifests[0].find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/"
                                "WindowsSettings\">true</dpiAware>"),
              std::string::npos)
        << manifests[0];
    EXPECT_EQ(manifests[0].find("Common-Controls"), std::string::npos) << manifests[0];
}

}  // namespace
