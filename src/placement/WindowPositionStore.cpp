#include "placement/WindowPositionStore.h"

#include <cmath>
#include <cstdio>

#include "base/Checked.h"
#include "base/ErrorTrap.h"
#include "ports/Twips.h"

namespace quillon {

namespace {

const char kSection[] = "Windows";
constexpr int16_t kCascadeStep = 360;  // twips
constexpr int kMaximumVisibleWaits = 10;

bool Sizable(int16_t borderStyle) {
    return borderStyle == kBorderSizable || borderStyle == kBorderSizableToolWindow;
}

int32_t ToPixels(int32_t twips, int16_t pixelsPerInch) {
    return CheckedRoundToLong(twips / kTwipsPerInch * pixelsPerInch);
}

}  // namespace

WindowPositionStore::WindowPositionStore(Settings& settings, ReasonableBounds& bounds,
                                         MonitorPort& monitors, ProcessPort& process,
                                         ProgramInfoPort& program, PlacementState& placement,
                                         ErrorLog& log)
    : settings_(settings),
      bounds_(bounds),
      monitors_(monitors),
      process_(process),
      program_(program),
      placement_(placement),
      log_(log) {}

std::string WindowPositionStore::LengthText(float twips) {
    // The stored text is read back with the user's locale, where "." may be
    // the thousands separator: "1234.5" would come back as 12345. The reader
    // rounds a fraction half to even anyway, so the whole number it would
    // have produced is stored instead, which reads back the same everywhere.
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", RoundHalfEven(static_cast<double>(twips)));
    return text;
}

void WindowPositionStore::RestoreWindowPosition(FormPort& form) {
    Trap(log_, "Common.RestoreWindowPosition", [&] {
        const std::string app = program_.ProductName();
        const std::string name = form.Name();

        form.SetWindowState(kStateNormal);
        const int32_t left =
            settings_.GetLongSetting(app, kSection, name + "Left", LengthText(form.Left()));
        const int32_t top =
            settings_.GetLongSetting(app, kSection, name + "Top", LengthText(form.Top()));
        const int32_t width =
            settings_.GetLongSetting(app, kSection, name + "Width", LengthText(form.Width()));
        const int32_t height =
            settings_.GetLongSetting(app, kSection, name + "Height", LengthText(form.Height()));

        if (placement_.DualMonitor) {
            PlaceOnMonitorOrCascade(form, left, top, width, height);
        } else {
            form.SetLeft(static_cast<float>(bounds_.ReasonableLeft(left)));
            form.SetTop(static_cast<float>(bounds_.ReasonableTop(top)));
        }

        if (Sizable(form.GetBorderStyle())) {
            form.SetWidth(static_cast<float>(bounds_.ReasonableWidth(width)));
            form.SetHeight(static_cast<float>(bounds_.ReasonableHeight(height)));
        }

        // Written as "WindowState", read as "Windowstate": the store matches
        // keys without regard to case, which this relies on.
        const int16_t state = settings_.GetIntegerSetting(app, kSection, name + "Windowstate",
                                                          std::to_string(form.GetWindowState()));
        form.SetWindowState(state);  // 380 for a stored state outside 0..2

        log_.DebugLog("Common.RestoreWindowPosition: " + name +
                      ", DualMonitor = " + (placement_.DualMonitor ? "True" : "False"));
        log_.DebugLog("   from registry = (" + std::to_string(left) + ", " + std::to_string(top) +
                      ", " + std::to_string(width) + ", " + std::to_string(height) + ")");
        log_.DebugLog("   restored to   = (" + LengthText(form.Left()) + ", " +
                      LengthText(form.Top()) + ", " + LengthText(form.Width()) + ", " +
                      LengthText(form.Height()) + ")");
        log_.DebugLog("   WindowState   = " + std::to_string(form.GetWindowState()));
    });
}

void WindowPositionStore::PlaceOnMonitorOrCascade(FormPort& form, int32_t left, int32_t top,
                                                  int32_t width, int32_t height) {
    const int16_t dpiX = CheckedNarrow<int16_t>(form.LogicalPixelsX());
    const int16_t dpiY = CheckedNarrow<int16_t>(form.LogicalPixelsY());
    PixelRect rect;
    rect.left = ToPixels(left, dpiX);
    rect.top = ToPixels(top, dpiY);
    rect.right = ToPixels(CheckedAdd32(left, width), dpiX);
    rect.bottom = ToPixels(CheckedAdd32(top, height), dpiY);

    if (monitors_.MonitorFromRect(rect) != 0) {
        form.SetLeft(static_cast<float>(left));
        form.SetTop(static_cast<float>(top));
        return;
    }
    // Error 6 past 32767: the window then keeps the position it had.
    placement_.CascadeLeft = CheckedAdd16(placement_.CascadeLeft, kCascadeStep);
    form.SetLeft(placement_.CascadeLeft);
    placement_.CascadeTop = CheckedAdd16(placement_.CascadeTop, kCascadeStep);
    form.SetTop(placement_.CascadeTop);
}

void WindowPositionStore::SaveWindowPosition(FormPort& form) {
    Trap(log_, "Common.SaveWindowPosition", [&] {
        const std::string app = program_.ProductName();
        const std::string name = form.Name();
        const int16_t savedState = form.GetWindowState();

        settings_.SaveSetting(app, kSection, name + "WindowState",
                              std::to_string(form.GetWindowState()));
        if (form.GetWindowState() != kStateNormal) {
            ShowNormalForSaving(form);
        }
        settings_.SaveSetting(app, kSection, name + "Left", LengthText(form.Left()));
        settings_.SaveSetting(app, kSection, name + "Top", LengthText(form.Top()));
        settings_.SaveSetting(app, kSection, name + "Height", LengthText(form.Height()));
        settings_.SaveSetting(app, kSection, name + "Width", LengthText(form.Width()));
        form.SetWindowState(savedState);
    });
}

void WindowPositionStore::ShowNormalForSaving(FormPort& form) {
    form.SetWindowState(kStateNormal);
    // Other handlers (timers, DDE notifications) may run inside DoEvents.
    process_.DoEvents();
    for (int wait = 0; wait < kMaximumVisibleWaits && !form.Visible(); ++wait) {
        process_.Sleep(1);
        process_.DoEvents();
    }
}

}  // namespace quillon
