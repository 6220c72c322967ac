#pragma once
// The set of ports the core needs, handed over once by the composition root
// (src/app) or by a test.

#include "platform/ClockPort.h"
#include "platform/FilePort.h"
#include "platform/MonitorPort.h"
#include "platform/NumberConversionPort.h"
#include "platform/OsVersionPort.h"
#include "platform/ProcessPort.h"
#include "platform/ProgramInfoPort.h"
#include "platform/RegistryPort.h"
#include "platform/SettingsPort.h"

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
