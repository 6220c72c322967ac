#pragma once
// The monitor report of the error-log header: enumerates the display
// monitors into MonitorRects and writes a count line and four lines per
// monitor into the log file that the current write holds open, each line
// stamped with the current UTC time. Errors are ignored statement by
// statement and never reported.

#include <cstdint>
#include <string>
#include <vector>

#include "ports/MonitorPort.h"

namespace quillon {

class ErrorLog;
class UtcClock;

class MonitorReport {
  public:
    MonitorReport(MonitorPort& monitors, UtcClock& clock, ErrorLog& log);

    // The enumeration callback: stores `rect` as entry `monitorCount`
    // (regrowing the list to exactly that many plus one), counts it and asks
    // for the next monitor.
    bool MonitorEnumProc(const PixelRect& rect, int32_t& monitorCount);
    void LogMonitorInfo();

    // The rectangles of the last enumeration, in the platform's order.
    std::vector<PixelRect> MonitorRects;

  private:
    void WriteLine(const std::string& text);

    MonitorPort& monitors_;
    UtcClock& clock_;
    ErrorLog& log_;
};

}  // namespace quillon
