#include "win32/WideText.h"

#include <windows.h>

#include "base/RuntimeError.h"

namespace quillon::win32 {

namespace {

std::string Narrow(const std::wstring& text, UINT codePage, DWORD flags, const char* replacement) {
    if (text.empty()) {
        return std::string();
    }
    const int length =
        ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr,
                              0, replacement, nullptr);
    if (length <= 0) {
        return std::string();  // no text rather than a wrong one
    }
    std::string narrow(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), &narrow[0],
                          length, replacement, nullptr);
    return narrow;
}

}  // namespace

std::wstring WidePathname(const std::string& pathname) {
    if (pathname.empty()) {
        return std::wstring();
    }
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pathname.data(),
                                             static_cast<int>(pathname.size()), nullptr, 0);
    if (length <= 0) {
        Raise(kErrBadFileNameOrNumber);
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pathname.data(),
                          static_cast<int>(pathname.size()), &wide[0], length);
    return wide;
}

std::string Utf8Pathname(const std::wstring& pathname) {
    return Narrow(pathname, CP_UTF8, 0, nullptr);  // UTF-8 takes no replacement
}

std::string AnsiText(const std::wstring& text) {
    const std::string ansi = Narrow(text, CP_ACP, WC_NO_BEST_FIT_CHARS, "?");
    // A UTF-8 ANSI code page (an option of Windows 10 and later) takes
    // neither the flag nor a replacement, and lacks no letter.
    return ansi.empty() ? Narrow(text, CP_ACP, 0, nullptr) : ansi;
}

}  // namespace quillon::win32
