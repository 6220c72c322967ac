#pragma once
#include "ports/ClockPort.h"

namespace quillon::fakes {

class FakeClock : public ClockPort {
  public:
    SystemTime now{2026, 12, 1, 6, 4, 55, 40, 0};
    SystemTime GetSystemTime() override { return now; }
    void Set(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute, int16_t second,
             int16_t milliseconds = 0) {
        now = SystemTime{year, month, 0, day, hour, minute, second, milliseconds};
    }
};

}  // namespace quillon::fakes
