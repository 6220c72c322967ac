#pragma once
#include "platform/ClockPort.h"

namespace quillon::win32 {

class Win32Clock : public ClockPort {
  public:
    SystemTime GetSystemTime() override;
};

}  // namespace quillon::win32
