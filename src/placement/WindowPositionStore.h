#pragma once
// Remembers where a window was and puts it back there: five values per
// form in the settings section "Windows", each key the form's name followed
// by "Left", "Top", "Width", "Height" or "WindowState". Restored positions
// are held to the primary screen, or, with DualMonitor set, applied when
// they touch a present monitor and otherwise put on a cascade.

#include <string>

#include "base/Settings.h"
#include "placement/PlacementState.h"
#include "placement/ReasonableBounds.h"
#include "ports/FormPort.h"
#include "ports/MonitorPort.h"
#include "ports/ProcessPort.h"
#include "ports/ProgramInfoPort.h"

namespace quillon {

class ErrorLog;

class WindowPositionStore {
  public:
    WindowPositionStore(Settings& settings, ReasonableBounds& bounds, MonitorPort& monitors,
                        ProcessPort& process, ProgramInfoPort& program, PlacementState& placement,
                        ErrorLog& log);

    // From the window's load event, before it is first shown.
    void RestoreWindowPosition(FormPort& form);
    // From the window's unload event, while the window still exists.
    void SaveWindowPosition(FormPort& form);

    // The text a length is stored as: a whole number of twips.
    static std::string LengthText(float twips);

  private:
    // Dual-monitor mode: keeps the stored edges when the stored rectangle
    // touches a present monitor, otherwise advances the cascade.
    void PlaceOnMonitorOrCascade(FormPort& form, int32_t left, int32_t top, int32_t width,
                                 int32_t height);
    // Shows the window in the normal state so that its normal rectangle can
    // be read, letting it come back for at most ten 1 ms sleeps.
    void ShowNormalForSaving(FormPort& form);

    Settings& settings_;
    ReasonableBounds& bounds_;
    MonitorPort& monitors_;
    ProcessPort& process_;
    ProgramInfoPort& program_;
    PlacementState& placement_;
    ErrorLog& log_;
};

}  // namespace quillon
