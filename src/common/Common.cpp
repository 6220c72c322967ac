#include "common/Common.h"

#include "base/ErrorTrap.h"

namespace quillon {

Common::Common(const Ports& p)
    : ports(p),
      log(ports.files, clock),
      clock(ports.clock, log),
      settings(ports.settings, ports.numbers, ports.program, log),
      registry(ports.registry, log),
      os(ports.osVersion, registry, ports.numbers, log),
      locale(log),
      bounds(ports.monitors, placement, log),
      positions(settings, bounds, ports.monitors, ports.process, ports.program, placement, log),
      monitorReport(ports.monitors, clock, log),
      commonUi(monitorReport),
      mrpModule(log),
      header(log, ports.program, os, locale, commonUi, mrpModule) {
    log.SetHeader(&header);
}

void Common::Initialize() {
    // Before the trap, so that the log's path is known before anything that
    // can fail runs. A failure here ends Initialize; the caller goes on.
    const int32_t early = CollectError([&] {
        log.ClearRunState();
        os.OSName = "Unknown";
        log.SetErrorLogPathname(ports.program.Path() + "\\ErrorLog.txt");
    });
    if (early != 0) {
        return;
    }

    Trap(log, "Common.Initialize", [&] {
        log.SetStartTime(clock.CurrentTime());
        os.GetOSVersion();
        const std::string appName = ports.program.ProductName();
        placement.DualMonitor =
            settings.GetBooleanSetting(appName, "Windows", "DualMonitor", "False");
        settings.SaveSetting(appName, "General", "Version",
                             std::to_string(ports.program.Major()) +
                                 std::to_string(ports.program.Minor()) +
                                 std::to_string(ports.program.Revision()));
        placement.CascadeLeft = 0;
        placement.CascadeTop = 0;
    });
}

void Common::Terminate() {
    const int32_t error = CollectError([&] {
        if (log.HeaderWritten()) {
            log.WriteErrorLog("Common.Terminate: " + ports.program.ProductName() + " shutdown");
        }
    });
    if (error != 0) {
        log.ReportProgramError(error, "Common.Terminate");
        return;
    }
    IgnoreErrors([&] { commonUi.Unload(); });
}

}  // namespace quillon
