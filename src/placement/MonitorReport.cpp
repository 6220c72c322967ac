#include "placement/MonitorReport.h"

#include <string>

#include "base/Checked.h"
#include "base/ErrorTrap.h"
#include "base/UtcClock.h"

namespace quillon {

namespace {

std::string Difference(int32_t high, int32_t low) {
    // Error 6 when the extent does not fit 32 bits, as the report's other
    // arithmetic; the line is then skipped.
    return std::to_string(CheckedNarrow<int32_t>(int64_t{high} - low));
}

}  // namespace

MonitorReport::MonitorReport(MonitorPort& monitors, UtcClock& clock, ErrorLog& log)
    : monitors_(monitors), clock_(clock), log_(log) {}

bool MonitorReport::MonitorEnumProc(const PixelRect& rect, int32_t& monitorCount) {
    const auto n = static_cast<size_t>(monitorCount);
    MonitorRects.resize(n + 1);
    MonitorRects[n] = rect;
    monitorCount = CheckedAdd32(monitorCount, 1);
    return true;
}

void MonitorReport::WriteLine(const std::string& text) {
    // A fresh stamp for every line, unlike the header's start-time stamps.
    log_.WriteOpenLine(clock_.FormatLogStamp(clock_.CurrentTime()) + " > " + text);
}

void MonitorReport::LogMonitorInfo() {
    int32_t monitorCount = 0;
    IgnoreErrors([&] {
        monitors_.EnumDisplayMonitors(
            [&](const PixelRect& rect) { return MonitorEnumProc(rect, monitorCount); });
    });
    IgnoreErrors([&] { WriteLine("Monitors          : " + std::to_string(monitorCount)); });
    for (int32_t i = 0; i < monitorCount; ++i) {
        // Entries are read with bounds checks: a failed line is skipped.
        const auto index = static_cast<size_t>(i);
        IgnoreErrors([&] { WriteLine("Monitor " + std::to_string(i + 1)); });
        IgnoreErrors([&] {
            const PixelRect& r = MonitorRects.at(index);
            WriteLine("   width          : " + Difference(r.right, r.left));
        });
        IgnoreErrors([&] {
            const PixelRect& r = MonitorRects.at(index);
            WriteLine("   height         : " + Difference(r.bottom, r.top));
        });
        IgnoreErrors([&] {
            const PixelRect& r = MonitorRects.at(index);
            WriteLine("   dimensions     : (" + std::to_string(r.left) + ", " +
                      std::to_string(r.top) + ")-(" + std::to_string(r.right) + ", " +
                      std::to_string(r.bottom) + ")");
        });
    }
}

}  // namespace quillon
