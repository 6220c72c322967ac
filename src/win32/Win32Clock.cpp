#include "win32/Win32Clock.h"

#include <windows.h>

namespace quillon::win32 {

SystemTime Win32Clock::GetSystemTime() {
    SYSTEMTIME utc{};
    ::GetSystemTime(&utc);
    return SystemTime{
        static_cast<int16_t>(utc.wYear),      static_cast<int16_t>(utc.wMonth),
        static_cast<int16_t>(utc.wDayOfWeek), static_cast<int16_t>(utc.wDay),
        static_cast<int16_t>(utc.wHour),      static_cast<int16_t>(utc.wMinute),
        static_cast<int16_t>(utc.wSecond),    static_cast<int16_t>(utc.wMilliseconds)};
}

std::string Win32Clock::AbbreviatedMonthName(int16_t month) {
    if (month < 1 || month > 12) {
        return std::string();
    }
    // 80 characters is the most the locale data holds for one item. In the
    // system's ANSI code page, as the log file is written, rather than in
    // the user locale's own.
    char name[80] = {};
    const LCTYPE item = static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + month - 1);
    const int length =
        ::GetLocaleInfoA(LOCALE_USER_DEFAULT, item | LOCALE_USE_CP_ACP, name, sizeof name);
    // The length counts the terminating null; 0 is a failure.
    return length > 1 ? std::string(name, static_cast<size_t>(length - 1)) : std::string();
}

}  // namespace quillon::win32
