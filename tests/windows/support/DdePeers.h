#pragma once
// Where the test programs find the simulators, the events that tell a
// simulator to begin, message pumping with a deadline, scratch folders and
// file reading.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "windows/support/ChildProcess.h"

namespace quillon::testing {

// Folder of the running test program, with a trailing backslash.
std::string TestProgramDir();
// The folder of the simulators, probe and benchmark programs: the build
// tree's tools folder, or QUILLON_PEER_DIR when set (the other build's tools,
// for links between a 64-bit and a 32-bit program).
std::string ToolsDir();
// What the Windows the suite runs on is, 64 or 32, as its ctest registration
// sets it in QUILLON_WINDOWS_BITS; 0 when unset.
int ExpectedWindowsBitness();
// The build tree's root (where the gateway program is built).
std::string BuildDir();

// Dispatches window messages for `ms` milliseconds.
void PumpFor(DWORD ms);
// Dispatches messages until `done()` or the timeout; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// True once a decoder serving `service` answers a connect on its topic: it
// has registered its DDE service.
bool DecoderAnswers(const char* service);

// A new empty folder under %TEMP%, removed with its files on destruction.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path_; }  // trailing backslash

  private:
    std::string path_;
};

// A named manual-reset event with a name unique to this test program and
// moment, made unset at once and held until destroyed: a peer that opens
// it late, after Set(), still finds it set.
class HeldEvent {
  public:
    explicit HeldEvent(const char* base);
    ~HeldEvent();
    HeldEvent(const HeldEvent&) = delete;
    HeldEvent& operator=(const HeldEvent&) = delete;

    const std::string& Name() const { return name_; }
    void Set() const;
    // True once the event is set (by anyone), waiting up to `timeoutMs`.
    bool WaitSet(DWORD timeoutMs) const;

  private:
    std::string name_;
    HANDLE event_;
};

std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// Lines without their line ends.
std::vector<std::string> ReadLines(const std::string& path);

}  // namespace quillon::testing
