#include "sysinfo/RegistryReader.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "base/ErrorTrap.h"

namespace quillon {

namespace {

constexpr uint32_t kNameBufferLength = 260;
constexpr uint32_t kDataBufferLength = 4096;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// Closes a subkey this call opened, on every way out; the root handle the
// caller gave is never closed.
class OpenedKey {
  public:
    explicit OpenedKey(RegistryPort& registry) : registry_(registry) {}
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    ~OpenedKey() {
        if (handle != 0) {
            IgnoreErrors([&] { registry_.RegCloseKey(handle); });
        }
    }
    RegistryKey handle = 0;

  private:
    RegistryPort& registry_;
};

// Text of a string value: the bytes as delivered (single-byte, passed
// through unchanged), less at most `terminators` trailing NULs. Values
// written without their terminator keep their last character, and an
// empty value is empty text.
std::string StringData(const uint8_t* data, uint32_t length, int terminators) {
    while (terminators > 0 && length > 0 && data[length - 1] == 0) {
        --length;
        --terminators;
    }
    return std::string(reinterpret_cast<const char*>(data), length);
}

// REG_BINARY as upper-case hexadecimal pairs separated by one blank,
// "0A FF 10"; no data gives empty text.
std::string BinaryData(const uint8_t* data, uint32_t length) {
    std::string text;
    text.reserve(length * 3);
    for (uint32_t i = 0; i < length; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(data[i]));
        if (i != 0) {
            text += ' ';
        }
        text += pair;
    }
    return text;
}

// REG_DWORD: little-endian, signed. Bytes beyond the delivered length are
// taken as 0 rather than read.
std::string DwordData(const uint8_t* data, uint32_t length) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < 4 && i < length; ++i) {
        value |= static_cast<uint32_t>(data[i]) << (8 * i);
    }
    return std::to_string(static_cast<int32_t>(value));
}

}  // namespace

struct RegistryReader::Match {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    uint32_t dataLength = 0;  // as the last enumeration call delivered it
};

RegistryReader::RegistryReader(RegistryPort& registry, ErrorLog& log)
    : registry_(registry), log_(log) {}

bool RegistryReader::KeyValuePresent(RegistryKey root, const std::string& subkey,
                                     const std::string& name) {
    bool result = false;
    Trap(log_, "SkerrinModule.KeyValuePresent", [&] {
        Match match;
        result = FindValue(root, subkey, name, match);
    });
    return result;
}

std::string RegistryReader::GetKeyValue(RegistryKey root, const std::string& subkey,
                                        const std::string& name) {
    std::string result;
    Trap(log_, "SkerrinModule.GetKeyValue", [&] {
        Match match;
        if (!FindValue(root, subkey, name, match)) {
            return;
        }
        // A retry that failed again may report more data than the buffer
        // holds; never read past either.
        const uint32_t length =
            std::min<uint32_t>(match.dataLength, static_cast<uint32_t>(match.data.size()));
        const uint8_t* data = match.data.data();
        switch (match.type) {
            case kRegSz:
            case kRegExpandSz:  // environment references stay unexpanded
                result = StringData(data, length, 1);
                break;
            case kRegMultiSz:  // the separating NULs stay in the text
                result = StringData(data, length, 2);
                break;
            case kRegBinary:
                result = BinaryData(data, length);
                break;
            case kRegDword:
                result = DwordData(data, length);
                break;
            default:  // REG_NONE, REG_DWORD_BIG_ENDIAN, REG_LINK and later types
                break;
        }
    });
    return result;
}

bool RegistryReader::FindValue(RegistryKey root, const std::string& subkey, const std::string& name,
                               Match& match) {
    OpenedKey opened(registry_);
    RegistryKey key = root;
    if (!subkey.empty()) {
        if (registry_.RegOpenKeyExA(root, subkey, 0, kKeyRead, opened.handle) != kErrorSuccess) {
            opened.handle = 0;  // nothing to close, whatever the call left there
            return false;
        }
        key = opened.handle;
    }

    char nameBuffer[kNameBufferLength];
    for (uint32_t index = 0;; ++index) {
        std::fill(std::begin(nameBuffer), std::end(nameBuffer), ' ');
        uint32_t nameLength = kNameBufferLength;
        match.data.assign(kDataBufferLength, 0);
        match.dataLength = kDataBufferLength;

        long code = registry_.RegEnumValueA(key, index, nameBuffer, nameLength, match.type,
                                            match.data.data(), match.dataLength);
        if (code == kErrorMoreData) {
            // One retry with a buffer of the reported size. The name length
            // is left as the first call set it, not reset to the buffer's.
            match.data.assign(match.dataLength, 0);
            code = registry_.RegEnumValueA(key, index, nameBuffer, nameLength, match.type,
                                           match.data.data(), match.dataLength);
        }

        // The match test comes before the return code: the whole buffer is
        // searched (name, NUL, leftover blanks), whatever the call returned.
        if (std::string_view(nameBuffer, kNameBufferLength).find(name) != std::string_view::npos) {
            return true;
        }
        if (code != kErrorSuccess) {
            return false;  // end of the values, or a failure
        }
    }
}

}  // namespace quillon
