#pragma once
// The UTC clock (module UTC): the current time as an OLE Automation date,
// days since 30 December 1899, computed from the calendar fields with the
// module's own day count.

#include <array>
#include <cstdint>
#include <string>

#include "ports/ClockPort.h"

namespace quillon {

class ErrorLog;

class UtcClock {
  public:
    UtcClock(ClockPort& clock, ErrorLog& log);

    // The current UTC time to the second; 0 (30 Dec 1899) after an error.
    double CurrentTime();
    // Days of the month before `month`; 0 for a month outside 1..12.
    int16_t MonthDays(int16_t month, bool leap);

    // Formats a date-time value as "dd-mmm-yyyy hh:nn:ss", the stamp of
    // every log line; the month as the user's locale abbreviates it, or in
    // English when the platform gives no usable set of names.
    std::string FormatLogStamp(double dateTime);

  private:
    using MonthNames = std::array<std::string, 12>;
    // The names are asked for once, on the first stamp of the run.
    const MonthNames& LocaleMonthNames();

    ClockPort& clock_;
    ErrorLog& log_;
    bool reportingError_ = false;
    MonthNames monthNames_;
    bool monthNamesRead_ = false;
};

}  // namespace quillon
