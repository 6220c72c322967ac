#pragma once
// The display monitors and the primary screen's size in twips.

#include "ports/MonitorPort.h"

namespace quillon::win32 {

class Win32Monitors : public MonitorPort {
  public:
    bool EnumDisplayMonitors(const std::function<bool(const PixelRect&)>& callback) override;
    uintptr_t MonitorFromRect(const PixelRect& rect) override;
    float ScreenWidthTwips() override;
    float ScreenHeightTwips() override;
};

}  // namespace quillon::win32
