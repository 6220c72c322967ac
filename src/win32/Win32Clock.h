#pragma once
#include "ports/ClockPort.h"

namespace quillon::win32 {

class Win32Clock : public ClockPort {
  public:
    SystemTime GetSystemTime() override;
};

}  // namespace quillon::win32
