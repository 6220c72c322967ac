#pragma once
// An error log over in-memory files with its UTC clock, for the targets
// that only need the log. The log and the clock refer to each other; each
// is used only once both exist.

#include <string>

#include "base/ErrorLog.h"
#include "base/UtcClock.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeFiles.h"

namespace quillon::fuzz {

struct FuzzLog {
    static constexpr const char* kPath = "C:\\Radio\\MRP_Quillon\\ErrorLog.txt";

    fakes::FakeFiles files;
    fakes::FakeClock systemClock;
    ErrorLog log{files, clock};
    UtcClock clock{systemClock, log};

    FuzzLog() { log.Reset(kPath); }

    std::string Text() const {
        auto it = files.contents.find(kPath);
        return it == files.contents.end() ? std::string() : it->second;
    }
};

}  // namespace quillon::fuzz
