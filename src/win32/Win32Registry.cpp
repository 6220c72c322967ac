#include "win32/Win32Registry.h"

#include <windows.h>

namespace quillon::win32 {

namespace {

// The port's predefined roots are their 32-bit values; a 64-bit HKEY holds
// them sign-extended (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002), and they
// are handed over in exactly that form rather than relying on the system to
// ignore the upper half. Keys opened by RegOpenKeyExA pass unchanged.
HKEY ToHkey(RegistryKey key) {
    if (key >= 0x80000000u && key <= 0x80000006u) {
        return reinterpret_cast<HKEY>(
            static_cast<intptr_t>(static_cast<int32_t>(static_cast<uint32_t>(key))));
    }
    return reinterpret_cast<HKEY>(key);
}

}  // namespace

long Win32Registry::RegOpenKeyExA(RegistryKey root, const std::string& subkey, uint32_t options,
                                  uint32_t access, RegistryKey& result) {
    HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyExA(ToHkey(root), subkey.c_str(), options, access, &opened);
    result = status == ERROR_SUCCESS ? reinterpret_cast<RegistryKey>(opened) : 0;
    return status;
}

long Win32Registry::RegEnumValueA(RegistryKey key, uint32_t index, char* name, uint32_t& nameLength,
                                  uint32_t& type, uint8_t* data, uint32_t& dataLength) {
    DWORD nameCount = nameLength;
    DWORD valueType = type;
    DWORD dataCount = dataLength;
    const LONG status = ::RegEnumValueA(ToHkey(key), index, name, &nameCount, nullptr, &valueType,
                                        data, &dataCount);
    nameLength = nameCount;
    type = valueType;
    dataLength = dataCount;
    return status;
}

long Win32Registry::RegCloseKey(RegistryKey key) {
    return ::RegCloseKey(ToHkey(key));
}

}  // namespace quillon::win32
