#include "windows/support/ScratchKey.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "ports/ProgramIdentity.h"

namespace quillon::testing {

std::string GatewaySettings() {
    return std::string(identity::kSettingsRoot) + "\\" + identity::kProductName;
}

std::string GatewaySection(const std::string& section) {
    return GatewaySettings() + "\\" + section;
}

std::string ReadUserValue(const std::string& path, const std::string& name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "<absent>";
    }
    char data[2048] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    const LONG status =
        ::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return "<absent>";
    }
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, data, sizeof number);
        return "dword:" + std::to_string(number);
    }
    return type == REG_SZ ? std::string(data) : "<not text>";
}

bool UserKeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(key);
    return true;
}

std::vector<std::string> ListUserKey(const std::string& path, KeyEntries what) {
    std::vector<std::string> entries;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return entries;
    }
    for (DWORD index = 0;; ++index) {
        char name[256] = {};
        DWORD nameLength = sizeof name;
        char data[2048] = {};
        DWORD dataLength = sizeof data - 1;
        const LONG status =
            what == KeyEntries::Subkeys
                ? ::RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr)
                : ::RegEnumValueA(key, index, name, &nameLength, nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(data), &dataLength);
        if (status != ERROR_SUCCESS) {
            break;
        }
        entries.emplace_back(what == KeyEntries::Subkeys ? name : data);
    }
    ::RegCloseKey(key);
    return entries;
}

ScratchKey::ScratchKey(std::string path) : path_(std::move(path)) {
    Clear();
}

ScratchKey::~ScratchKey() {
    Clear();
}

void ScratchKey::Clear() const {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
}

void ScratchKey::Put(const std::string& name, const std::string& text) const {
    Set(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void ScratchKey::PutDword(const std::string& name, DWORD number) const {
    Set(name, REG_DWORD, &number, sizeof number);
}

void ScratchKey::Set(const std::string& name, DWORD type, const void* data, DWORD size) const {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS)
        << path_;
    EXPECT_EQ(::RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS)
        << name;
    ::RegCloseKey(key);
}

}  // namespace quillon::testing
