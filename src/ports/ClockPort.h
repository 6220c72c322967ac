#pragma once
// Port: the system clock in UTC (GetSystemTime), and the month names the
// user's locale gives for stamping its readings.

#include <cstdint>
#include <string>

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
    // The user's default locale's abbreviated name of `month` (1 to 12), in
    // the ANSI code page ("Jan" in English); empty text when the platform
    // gives none. Never fails.
    virtual std::string AbbreviatedMonthName(int16_t month) = 0;
};

}  // namespace quillon
