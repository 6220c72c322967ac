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
// The build tree's tools folder (simulators, probe, benchmark programs).
std::string ToolsDir();
// The build tree's root (where the gateway program is built).
std::string BuildDir();

// Dispatches window messages for `ms` milliseconds.
void PumpFor(DWORD ms);
// Dispatches messages until `done()` or the timeout; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

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
using DdeScratchDir = ScratchDir;  // older name

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

  private:
    std::string name_;
    HANDLE event_;
};

std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// Lines without their line ends.
std::vector<std::string> ReadLines(const std::string& path);

}  // namespace quillon::testing
