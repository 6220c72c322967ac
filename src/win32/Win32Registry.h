#pragma once
// RegistryPort on the ANSI registry functions, passed straight through.

#include "ports/RegistryPort.h"

namespace quillon::win32 {

class Win32Registry : public RegistryPort {
  public:
    long RegOpenKeyExA(RegistryKey root, const std::string& subkey, uint32_t options,
                       uint32_t access, RegistryKey& result) override;
    long RegEnumValueA(RegistryKey key, uint32_t index, char* name, uint32_t& nameLength,
                       uint32_t& type, uint8_t* data, uint32_t& dataLength) override;
    long RegCloseKey(RegistryKey key) override;
};

}  // namespace quillon::win32
