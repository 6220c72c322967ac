#include "win32/Win32NumberConversion.h"

#include <windows.h>
// oleauto.h needs the types windows.h declares.
#include <oleauto.h>

#include <climits>
#include <string>

#include "base/RuntimeError.h"

namespace quillon::win32 {

namespace {

// The single-byte text in the ANSI code page, as the wide string the
// conversions take. A NUL inside the text would end the number early and
// let "12<NUL>abc" pass as 12, so such text is no number.
std::wstring ToWide(const std::string& text) {
    if (text.find('\0') != std::string::npos || text.size() > INT_MAX) {
        Raise(kErrTypeMismatch);
    }
    if (text.empty()) {
        return std::wstring();
    }
    const int length = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        Raise(kErrTypeMismatch);
    }
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], needed);
    return wide;
}

void CheckResult(HRESULT result) {
    if (SUCCEEDED(result)) {
        return;
    }
    Raise(result == DISP_E_OVERFLOW ? kErrOverflow : kErrTypeMismatch);
}

}  // namespace

int16_t Win32NumberConversion::ToInteger(const std::string& text) {
    std::wstring wide = ToWide(text);
    SHORT value = 0;
    CheckResult(::VarI2FromStr(&wide[0], LOCALE_USER_DEFAULT, 0, &value));
    return value;
}

int32_t Win32NumberConversion::ToLong(const std::string& text) {
    std::wstring wide = ToWide(text);
    LONG value = 0;
    CheckResult(::VarI4FromStr(&wide[0], LOCALE_USER_DEFAULT, 0, &value));
    return value;
}

bool Win32NumberConversion::ToBoolean(const std::string& text) {
    std::wstring wide = ToWide(text);
    VARIANT_BOOL value = VARIANT_FALSE;
    CheckResult(::VarBoolFromStr(&wide[0], LOCALE_USER_DEFAULT, 0, &value));
    return value != VARIANT_FALSE;
}

}  // namespace quillon::win32
