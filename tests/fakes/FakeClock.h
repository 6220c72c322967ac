#pragma once
#include <array>
#include <string>

#include "ports/ClockPort.h"

namespace quillon::fakes {

class FakeClock : public ClockPort {
  public:
    SystemTime now{2026, 12, 1, 6, 4, 55, 40, 0};
    // The user's locale is English unless a test says otherwise.
    std::array<std::string, 12> monthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int monthNameQueries = 0;

    SystemTime GetSystemTime() override { return now; }
    std::string AbbreviatedMonthName(int16_t month) override {
        ++monthNameQueries;
        return month >= 1 && month <= 12 ? monthNames[static_cast<size_t>(month - 1)]
                                         : std::string();
    }
    void Set(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute, int16_t second,
             int16_t milliseconds = 0) {
        now = SystemTime{year, month, 0, day, hour, minute, second, milliseconds};
    }
};

}  // namespace quillon::fakes
