#pragma once
// Stand-ins for the registry, operating-system, number and monitor adapters
// until their real versions exist in platform/win32. Minimal on purpose:
// plain calls, no locale handling beyond the C library.

#include <windows.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

#include "platform/MonitorPort.h"
#include "platform/NumberConversionPort.h"
#include "platform/OsVersionPort.h"
#include "platform/RegistryPort.h"
#include "platform/RuntimeError.h"

namespace quillon::app {

class TemporaryRegistry : public RegistryPort {
  public:
    long RegOpenKeyExA(RegistryKey root, const std::string& subkey, uint32_t options,
                       uint32_t access, RegistryKey& result) override {
        HKEY key = nullptr;
        const long status =
            ::RegOpenKeyExA(reinterpret_cast<HKEY>(root), subkey.c_str(), options, access, &key);
        result = reinterpret_cast<RegistryKey>(key);
        return status;
    }
    long RegEnumValueA(RegistryKey key, uint32_t index, char* name, uint32_t& nameLength,
                       uint32_t& type, uint8_t* data, uint32_t& dataLength) override {
        DWORD nameSize = nameLength;
        DWORD valueType = 0;
        DWORD dataSize = dataLength;
        const long status = ::RegEnumValueA(reinterpret_cast<HKEY>(key), index, name, &nameSize,
                                            nullptr, &valueType, data, &dataSize);
        nameLength = nameSize;
        type = valueType;
        dataLength = dataSize;
        return status;
    }
    long RegCloseKey(RegistryKey key) override {
        return ::RegCloseKey(reinterpret_cast<HKEY>(key));
    }
};

class TemporaryOsVersion : public OsVersionPort {
  public:
    bool GetVersionExA(OsVersionInfoA& info) override {
        OSVERSIONINFOA native{};
        native.dwOSVersionInfoSize = sizeof(native);
        if (!::GetVersionExA(&native)) {
            return false;
        }
        info.dwMajorVersion = native.dwMajorVersion;
        info.dwMinorVersion = native.dwMinorVersion;
        info.dwBuildNumber = native.dwBuildNumber;
        info.dwPlatformId = native.dwPlatformId;
        static_assert(sizeof(info.szCSDVersion) == sizeof(native.szCSDVersion), "CSD size");
        std::memcpy(info.szCSDVersion, native.szCSDVersion, sizeof(info.szCSDVersion));
        return true;
    }
    uint16_t NativeProcessorArchitecture() override {
        SYSTEM_INFO info{};
        ::GetNativeSystemInfo(&info);
        return info.wProcessorArchitecture;
    }
};

class TemporaryNumbers : public NumberConversionPort {
  public:
    int16_t ToInteger(const std::string& text) override {
        return static_cast<int16_t>(ToRange(text, -32768.0, 32767.0));
    }
    int32_t ToLong(const std::string& text) override {
        return static_cast<int32_t>(ToRange(text, -2147483648.0, 2147483647.0));
    }
    bool ToBoolean(const std::string& text) override {
        if (_stricmp(text.c_str(), "true") == 0) {
            return true;
        }
        if (_stricmp(text.c_str(), "false") == 0) {
            return false;
        }
        return ToRange(text, -1e300, 1e300) != 0;
    }

  private:
    static double ToRange(const std::string& text, double lowest, double highest) {
        const char* begin = text.c_str();
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(begin, &end);
        while (end != nullptr && *end == ' ') {
            ++end;
        }
        if (end == begin || end == nullptr || *end != '\0' || errno != 0 || !std::isfinite(value)) {
            Raise(kErrTypeMismatch);
        }
        const double rounded = std::nearbyint(value);  // halves to even
        if (rounded < lowest || rounded > highest) {
            Raise(kErrOverflow);
        }
        return rounded;
    }
};

class TemporaryMonitors : public MonitorPort {
  public:
    bool EnumDisplayMonitors(const std::function<bool(const PixelRect&)>& callback) override {
        return ::EnumDisplayMonitors(nullptr, nullptr, &TemporaryMonitors::OnMonitor,
                                     reinterpret_cast<LPARAM>(&callback)) != FALSE;
    }
    uintptr_t MonitorFromRect(const PixelRect& rect) override {
        const RECT native{rect.left, rect.top, rect.right, rect.bottom};
        return reinterpret_cast<uintptr_t>(::MonitorFromRect(&native, MONITOR_DEFAULTTONULL));
    }
    float ScreenWidthTwips() override {
        return static_cast<float>(::GetSystemMetrics(SM_CXSCREEN)) * TwipsPerPixel(LOGPIXELSX);
    }
    float ScreenHeightTwips() override {
        return static_cast<float>(::GetSystemMetrics(SM_CYSCREEN)) * TwipsPerPixel(LOGPIXELSY);
    }

  private:
    static BOOL CALLBACK OnMonitor(HMONITOR, HDC, LPRECT rect, LPARAM data) {
        const auto& callback =
            *reinterpret_cast<const std::function<bool(const PixelRect&)>*>(data);
        return callback(PixelRect{rect->left, rect->top, rect->right, rect->bottom}) ? TRUE : FALSE;
    }
    static float TwipsPerPixel(int index) {
        const HDC screen = ::GetDC(nullptr);
        const int perInch = screen != nullptr ? ::GetDeviceCaps(screen, index) : 96;
        if (screen != nullptr) {
            ::ReleaseDC(nullptr, screen);
        }
        return 1440.0f / static_cast<float>(perInch > 0 ? perInch : 96);
    }
};

}  // namespace quillon::app
