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

}  // namespace quillon::win32
