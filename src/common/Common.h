#pragma once
// The shared module of the program: every application service of the run,
// composed once from the platform's ports, with the run's start-up and
// shut-down (Initialize, Terminate).

#include <string>

#include "base/ErrorLog.h"
#include "base/Settings.h"
#include "base/UtcClock.h"
#include "common/CommonUi.h"
#include "common/EnvironmentHeader.h"
#include "common/MrpModule.h"
#include "placement/MonitorReport.h"
#include "placement/PlacementState.h"
#include "placement/ReasonableBounds.h"
#include "placement/WindowPositionStore.h"
#include "ports/Ports.h"
#include "sysinfo/LocaleInfo.h"
#include "sysinfo/OsIdentification.h"
#include "sysinfo/RegistryReader.h"

namespace quillon {

class Common {
  public:
    explicit Common(const Ports& ports);
    Common(const Common&) = delete;
    Common& operator=(const Common&) = delete;

    // Brackets every run; see Common.cpp.
    void Initialize();
    void Terminate();

    Ports ports;
    // Declared in dependency order; the log and the clock refer to each
    // other and are only used once both exist.
    ErrorLog log;
    UtcClock clock;
    Settings settings;
    RegistryReader registry;
    OsIdentification os;
    LocaleInfo locale;
    PlacementState placement;
    ReasonableBounds bounds;
    WindowPositionStore positions;
    MonitorReport monitorReport;
    CommonUi commonUi;
    MrpModule mrpModule;
    EnvironmentHeader header;
};

}  // namespace quillon
