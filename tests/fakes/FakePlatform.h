#pragma once
// Every port of the program as a fake, bundled for tests of the whole core.

#include "fakes/FakeClock.h"
#include "fakes/FakeFiles.h"
#include "fakes/FakeMonitors.h"
#include "fakes/FakeNumbers.h"
#include "fakes/FakeOsVersion.h"
#include "fakes/FakeProcess.h"
#include "fakes/FakeProgramInfo.h"
#include "fakes/FakeRegistry.h"
#include "fakes/FakeSettings.h"
#include "ports/Ports.h"

namespace quillon::fakes {

struct FakePlatform {
    FakeClock clock;
    FakeFiles files;
    FakeSettings settings;
    FakeNumbers numbers;
    FakeProgramInfo program;
    FakeProcess process;
    FakeMonitors monitors;
    FakeRegistry registry;
    FakeOsVersion osVersion;

    Ports ports{clock, files, settings, numbers, program, process, monitors, registry, osVersion};

    std::string LogPath() const { return program.path + "\\ErrorLog.txt"; }
    std::string LogText() const {
        auto it = files.contents.find(LogPath());
        return it == files.contents.end() ? std::string() : it->second;
    }
    bool LogExists() const { return files.Exists(LogPath()); }
};

}  // namespace quillon::fakes
