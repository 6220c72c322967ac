#pragma once
// An error log over in-memory files with its UTC clock, for every test that
// needs the log. The log and the clock refer to each other; each is used
// only once both exist. A fixture derives from it, or holds one, and reads
// what was logged with Text().

#include <string>

#include "base/ErrorLog.h"
#include "base/UtcClock.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeFiles.h"

namespace quillon::fakes {

// `SystemClock` is the clock beneath the UTC clock: FakeClock, or a test's
// own kind of it.
template <typename SystemClock = FakeClock>
struct BasicFakeLog {
    static constexpr const char* kPath = "C:\\Radio\\MRP_Quillon\\ErrorLog.txt";

    SystemClock systemClock;
    FakeFiles files;
    ErrorLog log{files, clock};
    UtcClock clock{systemClock, log};

    BasicFakeLog() { log.Reset(kPath); }

    std::string Text() const {
        auto it = files.contents.find(kPath);
        return it == files.contents.end() ? std::string() : it->second;
    }
};
using FakeLog = BasicFakeLog<>;

}  // namespace quillon::fakes
