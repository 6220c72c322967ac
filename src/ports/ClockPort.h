#pragma once
// Port: the system clock in UTC (GetSystemTime).

#include <cstdint>

namespace quillon {

// The platform's SYSTEMTIME record; fields read as signed 16-bit integers.
struct SystemTime {
    int16_t wYear = 0;
    int16_t wMonth = 0;
    int16_t wDayOfWeek = 0;
    int16_t wDay = 0;
    int16_t wHour = 0;
    int16_t wMinute = 0;
    int16_t wSecond = 0;
    int16_t wMilliseconds = 0;
};

class ClockPort {
  public:
    virtual ~ClockPort() = default;
    // The current UTC time. Never fails.
    virtual SystemTime GetSystemTime() = 0;
};

}  // namespace quillon
