#include "win32/Win32Settings.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/RuntimeError.h"
#include "win32/ScopedRegKey.h"

namespace quillon::win32 {

namespace {

bool ValidName(const std::string& name) {
    return !name.empty() && name.find('\0') == std::string::npos;
}

// An empty name would address the parent key or its unnamed default value;
// that is a caller's mistake, not a setting.
void CheckNames(const std::string& application, const std::string& section,
                const std::string& key) {
    if (!ValidName(application) || !ValidName(section) || !ValidName(key)) {
        Raise(kErrInvalidProcedureCall);
    }
}

std::string SectionPath(const std::string& application, const std::string& section) {
    return std::string(Win32Settings::kRootPath) + "\\" + application + "\\" + section;
}

int32_t RegistryErrorNumber(LONG status) {
    return status == ERROR_ACCESS_DENIED ? kErrPermissionDenied : kErrInvalidProcedureCall;
}

}  // namespace

std::string Win32Settings::GetSetting(const std::string& application, const std::string& section,
                                      const std::string& key, const std::string& defaultValue) {
    CheckNames(application, section, key);
    ScopedRegKey sectionKey;
    LONG status = ::RegOpenKeyExA(HKEY_CURRENT_USER, SectionPath(application, section).c_str(), 0,
                                  KEY_QUERY_VALUE, sectionKey.Receive());
    if (status == ERROR_FILE_NOT_FOUND) {
        return defaultValue;
    }
    if (status != ERROR_SUCCESS) {
        Raise(RegistryErrorNumber(status));
    }
    // The value may grow between asking its size and reading it: ask again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        status = ::RegQueryValueExA(sectionKey.Get(), key.c_str(), nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            return defaultValue;
        }
        if (status != ERROR_SUCCESS) {
            Raise(RegistryErrorNumber(status));
        }
        if (type != REG_SZ) {
            return defaultValue;  // not written by this program
        }
        std::vector<char> data(size + 1, '\0');
        status = ::RegQueryValueExA(sectionKey.Get(), key.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(data.data()), &size);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status == ERROR_FILE_NOT_FOUND) {
            return defaultValue;
        }
        if (status != ERROR_SUCCESS) {
            Raise(RegistryErrorNumber(status));
        }
        if (type != REG_SZ) {
            return defaultValue;
        }
        // REG_SZ data need not end in a NUL, and may hold one early: the
        // text ends at the first NUL or at the data's end.
        const size_t length = std::min<size_t>(size, data.size() - 1);
        const std::string text(data.data(), length);
        return text.substr(0, text.find('\0'));
    }
    Raise(kErrInvalidProcedureCall);
}

void Win32Settings::SaveSetting(const std::string& application, const std::string& section,
                                const std::string& key, const std::string& value) {
    CheckNames(application, section, key);
    ScopedRegKey sectionKey;
    LONG status = ::RegCreateKeyExA(HKEY_CURRENT_USER, SectionPath(application, section).c_str(), 0,
                                    nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                    sectionKey.Receive(), nullptr);
    if (status != ERROR_SUCCESS) {
        Raise(RegistryErrorNumber(status));
    }
    // A REG_SZ value stores its terminating NUL; an embedded NUL would cut
    // the text short on reading, so only the text before it is stored.
    const std::string text = value.substr(0, value.find('\0'));
    status = ::RegSetValueExA(sectionKey.Get(), key.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    if (status != ERROR_SUCCESS) {
        Raise(RegistryErrorNumber(status));
    }
}

}  // namespace quillon::win32
