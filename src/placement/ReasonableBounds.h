#pragma once
// Holds a remembered window coordinate or size (twips) within reach on the
// primary screen. Positions must lie within 95% of the screen dimension,
// sizes at most 110% of it; an out-of-range size is replaced by half the
// screen dimension. With DualMonitor set, positions pass unchanged and only
// a negative size is replaced. The screen size is read afresh on each call.

#include <cstdint>

#include "placement/PlacementState.h"
#include "ports/MonitorPort.h"

namespace quillon {

class ErrorLog;

class ReasonableBounds {
  public:
    ReasonableBounds(MonitorPort& monitors, PlacementState& placement, ErrorLog& log);

    // Each returns 0 after an error, which it reports under its own name.
    int32_t ReasonableLeft(int32_t left);
    int32_t ReasonableTop(int32_t top);
    int32_t ReasonableWidth(int32_t width);
    int32_t ReasonableHeight(int32_t height);

  private:
    int32_t Position(const char* procedureName, int32_t value, bool horizontal);
    int32_t Size(const char* procedureName, int32_t value, bool horizontal);
    double ScreenDimension(bool horizontal);

    MonitorPort& monitors_;
    PlacementState& placement_;
    ErrorLog& log_;
};

}  // namespace quillon
