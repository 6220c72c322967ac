#include "base/UtcClock.h"

#include <cstdio>

#include "base/Checked.h"
#include "base/ErrorTrap.h"

namespace quillon {

namespace {

bool IsLeapYear(int32_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The OLE Automation date of 1 January 2000 minus one day.
constexpr double kDay31Dec1999 = 36525;

// A month name the platform gave is usable when it is text of a sensible
// length: no control character (a line break would split the log line), and
// no "?" (the mark of a character the ANSI code page cannot hold).
bool IsUsableMonthName(const std::string& name) {
    if (name.empty() || name.size() > 80) {
        return false;
    }
    for (const char c : name) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F || c == '?') {
            return false;
        }
    }
    return true;
}

}  // namespace

UtcClock::UtcClock(ClockPort& clock, ErrorLog& log) : clock_(clock), log_(log) {}

double UtcClock::CurrentTime() {
    int16_t state = 0;
    SystemTime utc{};
    double result = 0;
    const int32_t error = CollectError([&] {
        state = 0;
        utc = clock_.GetSystemTime();

        state = 1;
        double days = kDay31Dec1999;
        for (int32_t year = 2000; year <= int32_t{utc.wYear} - 1; ++year) {
            days += IsLeapYear(year) ? 366 : 365;
        }

        state = 2;
        const bool leap = IsLeapYear(utc.wYear);
        // A checked 16-bit count: a month of 32767 overflows instead of wrapping for ever.
        for (int16_t month = 1; month <= utc.wMonth; month = CheckedAdd16(month, 1)) {
            days += MonthDays(month, leap);
        }

        state = 3;
        days += utc.wDay;

        state = 4;
        const double seconds = static_cast<double>(utc.wHour) * 3600 +
                               CheckedMul16(utc.wMinute, 60) + static_cast<double>(utc.wSecond);

        state = 5;
        result = seconds / 86400 + days;
    });
    if (error != 0 && !reportingError_) {
        // The report and the detail lines are stamped by this clock. While
        // they are written a failing clock answers 0 without reporting
        // again; otherwise each stamp would report and recurse without end.
        reportingError_ = true;
        log_.ReportProgramError(error, "UTC.CurrentTime, State = " + std::to_string(state));
        log_.WriteErrorLog("   UTCTime.wYear   = " + std::to_string(utc.wYear));
        log_.WriteErrorLog("   UTCTime.wMonth  = " + std::to_string(utc.wMonth));
        log_.WriteErrorLog("   UTCTime.wDay    = " + std::to_string(utc.wDay));
        log_.WriteErrorLog("   UTCTime.wHour   = " + std::to_string(utc.wHour));
        log_.WriteErrorLog("   UTCTime.wMinute = " + std::to_string(utc.wMinute));
        log_.WriteErrorLog("   UTCTime.wSecond = " + std::to_string(utc.wSecond));
        reportingError_ = false;
    }
    return error != 0 ? 0 : result;
}

int16_t UtcClock::MonthDays(int16_t month, bool leap) {
    int16_t result = 0;
    Trap(log_, "UTC.MonthDays", [&] {
        static constexpr int16_t kBefore[13] = {0, 0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30};
        if (month >= 1 && month <= 12) {
            result = kBefore[month];
            if (month == 3 && leap) {
                result = 29;
            }
        }
    });
    return result;
}

const UtcClock::MonthNames& UtcClock::LocaleMonthNames() {
    if (!monthNamesRead_) {
        // All twelve from the locale or all twelve in English: a set with
        // some months in each language would read as neither.
        MonthNames names;
        bool usable = true;
        for (int16_t month = 1; month <= 12 && usable; ++month) {
            names[static_cast<size_t>(month - 1)] = clock_.AbbreviatedMonthName(month);
            usable = IsUsableMonthName(names[static_cast<size_t>(month - 1)]);
        }
        monthNames_ = usable ? names : MonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        monthNamesRead_ = true;
    }
    return monthNames_;
}

std::string UtcClock::FormatLogStamp(double dateTime) {
    // Whole seconds since 30 December 1899; the clock gives whole seconds,
    // so rounding only absorbs the binary fraction's error.
    const int64_t total = static_cast<int64_t>(RoundHalfEven(dateTime * 86400.0));
    int64_t days = total / 86400;
    int64_t secondOfDay = total % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        days -= 1;
    }
    // Civil date from the day count (days since 1970-01-01 algorithm).
    const int64_t z = days - 25569 + 719468;  // 25569 = 1 January 1970
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    // A usable month name has at most 80 characters.
    char text[128];
    std::snprintf(text, sizeof text, "%02d-%s-%04d %02d:%02d:%02d", static_cast<int>(day),
                  LocaleMonthNames()[static_cast<size_t>(month - 1)].c_str(),
                  static_cast<int>(year), static_cast<int>(secondOfDay / 3600),
                  static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60));
    return text;
}

}  // namespace quillon
