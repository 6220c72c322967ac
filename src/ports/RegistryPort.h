#pragma once
// Port: the read-only registry calls of the value reader, shaped like the
// ANSI Win32 functions so that the reader's enumeration loop is portable.
// Return values are Win32 error codes (0 success, 234 ERROR_MORE_DATA,
// 259 ERROR_NO_MORE_ITEMS, ...).

#include <cstdint>
#include <string>

namespace quillon {

using RegistryKey = uintptr_t;

constexpr RegistryKey kHKeyCurrentUser = 0x80000001u;
constexpr RegistryKey kHKeyLocalMachine = 0x80000002u;
constexpr uint32_t kKeyRead = 0x20019u;

constexpr long kErrorSuccess = 0;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;

class RegistryPort {
  public:
    virtual ~RegistryPort() = default;
    virtual long RegOpenKeyExA(RegistryKey root, const std::string& subkey, uint32_t options,
                               uint32_t access, RegistryKey& result) = 0;
    // As RegEnumValueA: `name` has room for `nameLength` characters; on
    // return `nameLength` is the name's length without its NUL (or, for
    // ERROR_MORE_DATA, as the platform leaves it). `dataLength` is in
    // bytes, in and out.
    virtual long RegEnumValueA(RegistryKey key, uint32_t index, char* name, uint32_t& nameLength,
                               uint32_t& type, uint8_t* data, uint32_t& dataLength) = 0;
    virtual long RegCloseKey(RegistryKey key) = 0;
};

}  // namespace quillon
