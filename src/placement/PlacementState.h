#pragma once
// Window-placement state of the run, owned by the shared module: the
// "DualMonitor" flag read at start and the cascade for windows whose
// remembered rectangle lies on no present monitor.

#include <cstdint>

namespace quillon {

struct PlacementState {
    bool DualMonitor = false;
    int16_t CascadeLeft = 0;  // twips
    int16_t CascadeTop = 0;   // twips
};

}  // namespace quillon
