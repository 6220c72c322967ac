#include "windows/support/ScratchKey.h"

#include <gtest/gtest.h>

#include <utility>

namespace quillon::testing {

std::string GatewaySection(const std::string& section) {
    return "Software\\VB and VBA Program Settings\\MRP_Quillon\\" + section;
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

std::string ScratchKey::Get(const std::string& name) const {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "<absent>";
    }
    char data[256] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    const LONG status =
        ::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return "<absent>";
    }
    return type == REG_SZ ? std::string(data) : "<not text>";
}

}  // namespace quillon::testing
