#include "fakes/FakeRegistry.h"

#include <cstring>

#include "base/RuntimeError.h"

namespace quillon::fakes {

namespace {
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorInvalidHandle = 6;
}  // namespace

void FakeRegistry::Add(RegistryKey root, const std::string& subkey, FakeValue value) {
    keys[{root, subkey}].push_back(std::move(value));
}

FakeValue FakeRegistry::String(const std::string& name, const std::string& bytes, uint32_t type) {
    return FakeValue{name, type, std::vector<uint8_t>(bytes.begin(), bytes.end())};
}

FakeValue FakeRegistry::Dword(const std::string& name, uint32_t value) {
    return FakeValue{name,
                     4,
                     {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                      static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)}};
}

long FakeRegistry::RegOpenKeyExA(RegistryKey root, const std::string& subkey, uint32_t, uint32_t,
                                 RegistryKey& result) {
    result = 0;
    if (keys.count({root, subkey}) == 0) {
        return kErrorFileNotFound;
    }
    ++opens;
    result = nextHandle_++;
    handles_[result] = {root, subkey};
    return kErrorSuccess;
}

const std::vector<FakeValue>* FakeRegistry::ValuesOf(RegistryKey key) const {
    auto handle = handles_.find(key);
    auto path = handle != handles_.end() ? handle->second : std::make_pair(key, std::string());
    auto values = keys.find(path);
    return values == keys.end() ? nullptr : &values->second;
}

long FakeRegistry::RegEnumValueA(RegistryKey key, uint32_t index, char* name, uint32_t& nameLength,
                                 uint32_t& type, uint8_t* data, uint32_t& dataLength) {
    // A retry is the call that follows an ERROR_MORE_DATA for the same index.
    const bool retry = moreDataAt_ == static_cast<int64_t>(index);
    moreDataAt_ = -1;
    enumCalls.emplace_back(index, dataLength);
    if (raiseOnEnum != 0) {
        Raise(raiseOnEnum);
    }
    const std::vector<FakeValue>* values = ValuesOf(key);
    if (values == nullptr) {
        return kErrorInvalidHandle;
    }
    if (index >= values->size()) {
        return kErrorNoMoreItems;
    }
    const FakeValue& value = (*values)[index];
    if (retry && failRetryWith.count(index) != 0) {
        return failRetryWith.at(index);
    }
    if (retry && retryGrowsTo.count(index) != 0) {
        type = value.type;
        dataLength = retryGrowsTo.at(index);
        return kErrorMoreData;
    }
    // As Wine does it: a data buffer too small leaves the name buffer and
    // its length untouched; a name too long is cut to the room given.
    const uint32_t size = static_cast<uint32_t>(value.data.size());
    type = value.type;
    if (data != nullptr && size > dataLength) {
        dataLength = size;
        moreDataAt_ = index;
        return kErrorMoreData;
    }
    if (data != nullptr && size != 0) {
        std::memcpy(data, value.data.data(), size);
    }
    dataLength = size;
    if (value.name.size() >= nameLength) {
        if (nameLength > 0) {
            std::memcpy(name, value.name.data(), nameLength - 1);
            name[nameLength - 1] = '\0';
        }
        return kErrorMoreData;
    }
    std::memcpy(name, value.name.c_str(), value.name.size() + 1);
    nameLength = static_cast<uint32_t>(value.name.size());
    return kErrorSuccess;
}

long FakeRegistry::RegCloseKey(RegistryKey key) {
    closed.push_back(key);
    return handles_.erase(key) != 0 ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace quillon::fakes
