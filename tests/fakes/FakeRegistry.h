#pragma once
// An in-memory registry for the value reader, with the enumeration order
// chosen by the test and injectable faults. RegEnumValueA behaves as Wine's:
// a data buffer that is too small gives ERROR_MORE_DATA with the needed size
// and the type, and leaves the name buffer alone.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ports/RegistryPort.h"

namespace quillon::fakes {

struct FakeValue {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

class FakeRegistry : public RegistryPort {
  public:
    // Keys by root and subkey path, values in enumeration order.
    std::map<std::pair<RegistryKey, std::string>, std::vector<FakeValue>> keys;

    // Index -> return code forced on the retry after ERROR_MORE_DATA.
    std::map<uint32_t, long> failRetryWith;
    // Index -> data length the retry reports (with ERROR_MORE_DATA) as if
    // the value had grown between the two calls.
    std::map<uint32_t, uint32_t> retryGrowsTo;
    // Raise this run-time error from RegEnumValueA (0: never).
    int32_t raiseOnEnum = 0;

    int opens = 0;
    std::vector<RegistryKey> closed;
    std::vector<std::pair<uint32_t, uint32_t>> enumCalls;  // index, data length offered

    void Add(RegistryKey root, const std::string& subkey, FakeValue value);
    void AddKey(RegistryKey root, const std::string& subkey) { keys[{root, subkey}]; }
    static FakeValue String(const std::string& name, const std::string& bytes, uint32_t type = 1);
    static FakeValue Dword(const std::string& name, uint32_t value);

    long RegOpenKeyExA(RegistryKey root, const std::string& subkey, uint32_t options,
                       uint32_t access, RegistryKey& result) override;
    long RegEnumValueA(RegistryKey key, uint32_t index, char* name, uint32_t& nameLength,
                       uint32_t& type, uint8_t* data, uint32_t& dataLength) override;
    long RegCloseKey(RegistryKey key) override;

    int OpenHandles() const { return opens - static_cast<int>(closed.size()); }

  private:
    const std::vector<FakeValue>* ValuesOf(RegistryKey key) const;

    std::map<RegistryKey, std::pair<RegistryKey, std::string>> handles_;
    RegistryKey nextHandle_ = 0x1000;
    int64_t moreDataAt_ = -1;
};

}  // namespace quillon::fakes
