#pragma once
#include "ports/ClockPort.h"

namespace quillon::win32 {

class Win32Clock : public ClockPort {
  public:
    SystemTime GetSystemTime() override;
    std::string AbbreviatedMonthName(int16_t month) override;
};

}  // namespace quillon::win32
