#pragma once
// Port: the display monitors and the primary screen.

#include <cstdint>
#include <functional>

namespace quillon {

// A rectangle in pixels, virtual-screen coordinates; right and bottom are
// exclusive.
struct PixelRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

class MonitorPort {
  public:
    virtual ~MonitorPort() = default;
    // EnumDisplayMonitors over the whole virtual screen: calls `callback`
    // once per monitor, in the platform's order, until it returns false.
    // Returns the platform's result.
    virtual bool EnumDisplayMonitors(const std::function<bool(const PixelRect&)>& callback) = 0;
    // MonitorFromRect with MONITOR_DEFAULTTONULL: the monitor handle, or 0
    // when the rectangle intersects no monitor.
    virtual uintptr_t MonitorFromRect(const PixelRect& rect) = 0;
    // The primary screen's size in twips (pixels times twips per pixel).
    // May raise a RuntimeError.
    virtual float ScreenWidthTwips() = 0;
    virtual float ScreenHeightTwips() = 0;
};

}  // namespace quillon
