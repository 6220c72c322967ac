#pragma once
// Helpers for the DDE tests under Wine: the simulators as child processes,
// message pumping with a deadline, scratch folders and file reading.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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

// A console child process started from a program path and arguments. The
// destructor kills it if it still runs. Quit() asks a simulator to end in
// order through its --quit-event (unregistering its DDE service).
class DdePeerProcess {
  public:
    DdePeerProcess() = default;
    ~DdePeerProcess();
    DdePeerProcess(const DdePeerProcess&) = delete;
    DdePeerProcess& operator=(const DdePeerProcess&) = delete;

    // Starts `program` with `arguments` (each quoted); for a simulator a
    // unique "--quit-event" is appended. False when it cannot start.
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               bool simulator = true);
    // Signals the quit event and waits (pumping messages) for the exit.
    bool Quit(DWORD timeoutMs = 10000);
    // TerminateProcess: the way a crash looks to the peer.
    void Kill();
    bool Running() const;
    // Waits for the exit, pumping messages; false on timeout.
    bool WaitExit(DWORD timeoutMs);
    DWORD ExitCode() const;
    HANDLE Handle() const { return process_; }

  private:
    HANDLE process_ = nullptr;
    std::string quitEvent_;
};

// Dispatches window messages for `ms` milliseconds.
void PumpFor(DWORD ms);
// Dispatches messages until `done()` or the timeout; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// A new empty folder under %TEMP%, removed with its files on destruction.
class DdeScratchDir {
  public:
    DdeScratchDir();
    ~DdeScratchDir();
    DdeScratchDir(const DdeScratchDir&) = delete;
    DdeScratchDir& operator=(const DdeScratchDir&) = delete;
    const std::string& Path() const { return path_; }  // trailing backslash

  private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// Lines without their line ends.
std::vector<std::string> ReadLines(const std::string& path);

}  // namespace quillon::testing
