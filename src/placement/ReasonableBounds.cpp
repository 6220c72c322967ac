#include "placement/ReasonableBounds.h"

#include "base/Checked.h"
#include "base/ErrorTrap.h"

namespace quillon {

namespace {

constexpr double kPositionLimit = 0.95;
constexpr double kSizeLimit = 1.1;
constexpr double kReplacementSize = 0.5;

}  // namespace

ReasonableBounds::ReasonableBounds(MonitorPort& monitors, PlacementState& placement, ErrorLog& log)
    : monitors_(monitors), placement_(placement), log_(log) {}

int32_t ReasonableBounds::ReasonableLeft(int32_t left) {
    return Position("Common.ReasonableLeft", left, true);
}

int32_t ReasonableBounds::ReasonableTop(int32_t top) {
    return Position("Common.ReasonableTop", top, false);
}

int32_t ReasonableBounds::ReasonableWidth(int32_t width) {
    return Size("Common.ReasonableWidth", width, true);
}

int32_t ReasonableBounds::ReasonableHeight(int32_t height) {
    return Size("Common.ReasonableHeight", height, false);
}

double ReasonableBounds::ScreenDimension(bool horizontal) {
    // The single-precision twips widen exactly to double; the limits are
    // products in double, compared with the input widened to double.
    return static_cast<double>(horizontal ? monitors_.ScreenWidthTwips()
                                          : monitors_.ScreenHeightTwips());
}

int32_t ReasonableBounds::Position(const char* procedureName, int32_t value, bool horizontal) {
    int32_t result = 0;
    Trap(log_, procedureName, [&] {
        // The screen is read even in dual-monitor mode, so a screen that
        // cannot be measured is reported either way.
        const double limit = kPositionLimit * ScreenDimension(horizontal);
        if (placement_.DualMonitor) {
            result = value;
            return;
        }
        const double v = value;
        result = (v >= 0 && v <= limit) ? value : 0;
    });
    return result;
}

int32_t ReasonableBounds::Size(const char* procedureName, int32_t value, bool horizontal) {
    int32_t result = 0;
    Trap(log_, procedureName, [&] {
        const double screen = ScreenDimension(horizontal);
        const double v = value;
        if (v < 0 || (v > kSizeLimit * screen && !placement_.DualMonitor)) {
            result = CheckedRoundToLong(kReplacementSize * screen);
            return;
        }
        result = value;
    });
    return result;
}

}  // namespace quillon
