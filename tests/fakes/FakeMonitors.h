#pragma once
// Monitors of a pretend desktop, in virtual-screen pixels, with the primary
// screen's size in twips and injectable faults.

#include <cstdint>
#include <functional>
#include <vector>

#include "base/RuntimeError.h"
#include "ports/MonitorPort.h"

namespace quillon::fakes {

class FakeMonitors : public MonitorPort {
  public:
    std::vector<PixelRect> monitors{{0, 0, 1920, 1080}};
    float screenWidthTwips = 28800;
    float screenHeightTwips = 16200;
    int32_t failScreenWith = 0;  // raise this when the screen size is read
    bool enumResult = true;
    std::vector<PixelRect> askedRects;  // every rectangle given to MonitorFromRect
    int screenReads = 0;

    bool EnumDisplayMonitors(const std::function<bool(const PixelRect&)>& callback) override {
        for (const PixelRect& rect : monitors) {
            if (!callback(rect)) {
                break;
            }
        }
        return enumResult;
    }

    // The handle is the monitor's index plus one, so 0 stays "no monitor".
    uintptr_t MonitorFromRect(const PixelRect& rect) override {
        askedRects.push_back(rect);
        for (size_t i = 0; i < monitors.size(); ++i) {
            const PixelRect& m = monitors[i];
            if (rect.left < m.right && m.left < rect.right && rect.top < m.bottom &&
                m.top < rect.bottom) {
                return i + 1;
            }
        }
        return 0;
    }

    float ScreenWidthTwips() override {
        ++screenReads;
        if (failScreenWith != 0) {
            Raise(failScreenWith);
        }
        return screenWidthTwips;
    }
    float ScreenHeightTwips() override {
        ++screenReads;
        if (failScreenWith != 0) {
            Raise(failScreenWith);
        }
        return screenHeightTwips;
    }
};

}  // namespace quillon::fakes
