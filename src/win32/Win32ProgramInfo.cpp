#include "win32/Win32ProgramInfo.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "ProgramVersion.h"
#include "ports/ProgramIdentity.h"
#include "win32/SafeDllSearch.h"
#include "win32/WideText.h"

namespace quillon::win32 {

namespace {

// The executable's full path, by its wide name: GetModuleFileNameA gives
// "?" or a look-alike for a letter the ANSI code page lacks. It truncates
// silently when the buffer is too small, so grow it until the path fits.
std::wstring ModulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < buffer.size() || buffer.size() >= 32768) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The three version functions, taken from version.dll in the system folder.
// version.dll is not a KnownDLL: imported statically, a copy planted in the
// program's folder would be loaded before WinMain could prevent it.
class VersionLibrary {
  public:
    using SizeFunction = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFunction = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

    VersionLibrary() : module_(LoadSystemLibrary("version.dll")) {
        if (module_ != nullptr) {
            size = Find<SizeFunction>("GetFileVersionInfoSizeW");
            info = Find<InfoFunction>("GetFileVersionInfoW");
            query = Find<QueryFunction>("VerQueryValueA");
        }
    }
    ~VersionLibrary() {
        if (module_ != nullptr) {
            ::FreeLibrary(module_);
        }
    }
    VersionLibrary(const VersionLibrary&) = delete;
    VersionLibrary& operator=(const VersionLibrary&) = delete;

    bool Loaded() const { return size != nullptr && info != nullptr && query != nullptr; }

    SizeFunction size = nullptr;
    InfoFunction info = nullptr;
    QueryFunction query = nullptr;

  private:
    template <typename Function>
    Function Find(const char* name) const {
        // Through void(*)(): -Wcast-function-type warns about a direct cast.
        return reinterpret_cast<Function>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module_, name)));
    }

    HMODULE module_;
};

}  // namespace

Win32ProgramInfo::Win32ProgramInfo()
    : productName_(identity::kProductName),
      major_(QUILLON_VERSION_MAJOR),
      minor_(QUILLON_VERSION_MINOR),
      revision_(QUILLON_VERSION_REVISION) {
    const std::wstring modulePath = ModulePath();
    const size_t slash = modulePath.find_last_of(L"\\/");
    // The folder is everything before the last separator: a program in a
    // drive's root gets "C:", so folder + "\ErrorLog.txt" has one separator.
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : modulePath.substr(0, slash);
    path_ = Utf8Pathname(folder);
    pathText_ = AnsiText(folder);
    const std::wstring fileName =
        slash == std::wstring::npos ? modulePath : modulePath.substr(slash + 1);
    const size_t dot = fileName.find_last_of(L'.');
    exeName_ = AnsiText(dot == std::wstring::npos ? fileName : fileName.substr(0, dot));
    ReadVersionResource(modulePath);
}

void Win32ProgramInfo::ReadVersionResource(const std::wstring& modulePath) {
    const VersionLibrary version;
    if (!version.Loaded()) {
        return;  // the compiled-in name and version stand
    }
    DWORD ignored = 0;
    const DWORD size = version.size(modulePath.c_str(), &ignored);
    if (size == 0) {
        return;
    }
    std::vector<char> data(size);
    if (!version.info(modulePath.c_str(), 0, size, data.data())) {
        return;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    if (version.query(data.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedLength) &&
        fixed != nullptr && fixedLength >= sizeof(VS_FIXEDFILEINFO)) {
        major_ = static_cast<int16_t>(HIWORD(fixed->dwFileVersionMS));
        minor_ = static_cast<int16_t>(LOWORD(fixed->dwFileVersionMS));
        revision_ = static_cast<int16_t>(HIWORD(fixed->dwFileVersionLS));  // 1,0,2,0
    }
    // The string table is named by language and code page, which the
    // translation table gives.
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT translationsLength = 0;
    if (!version.query(data.data(), "\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translations), &translationsLength) ||
        translations == nullptr || translationsLength < sizeof(Translation)) {
        return;
    }
    char namePath[64];
    std::snprintf(namePath, sizeof(namePath), "\\StringFileInfo\\%04x%04x\\ProductName",
                  translations[0].language, translations[0].codePage);
    char* name = nullptr;
    UINT nameLength = 0;
    if (version.query(data.data(), namePath, reinterpret_cast<void**>(&name), &nameLength) &&
        name != nullptr && nameLength > 0) {
        const std::string text(name, nameLength);
        const std::string product = text.substr(0, text.find('\0'));
        if (!product.empty()) {
            productName_ = product;
        }
    }
}

}  // namespace quillon::win32
