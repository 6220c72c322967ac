#pragma once
// The set of ports the core needs, handed over once by the composition root
// (src/app) or by a test.

#include "ports/ClockPort.h"
#include "ports/FilePort.h"
#include "ports/MonitorPort.h"
#include "ports/NumberConversionPort.h"
#include "ports/OsVersionPort.h"
#include "ports/ProcessPort.h"
#include "ports/ProgramInfoPort.h"
#include "ports/RegistryPort.h"
#include "ports/SettingsPort.h"

namespace quillon {

struct Ports {
    ClockPort& clock;
    FilePort& files;
    SettingsPort& settings;
    NumberConversionPort& numbers;
    ProgramInfoPort& program;
    ProcessPort& process;
    MonitorPort& monitors;
    RegistryPort& registry;
    OsVersionPort& osVersion;
};

}  // namespace quillon
