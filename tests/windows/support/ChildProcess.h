#pragma once
// A program started by a test, ended by the destructor if it still runs;
// and the process start that every test program start goes through.

#include <windows.h>

#include <string>

namespace quillon::testing {

// CreateProcessA of `program` with `commandLine` (program name included),
// tried again when refused; `error` is the last refusal's code, or 0.
bool StartProgram(const std::string& program, const std::string& commandLine,
                  PROCESS_INFORMATION& info, DWORD& error);

class ChildProcess {
  public:
    // Starts `exePath` with `arguments` (as they go on its command line, after
    // its quoted name); check Started().
    explicit ChildProcess(const std::string& exePath, const std::string& arguments = std::string());
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return process_ != nullptr; }
    // Why CreateProcessA failed (its last-error code), or 0.
    DWORD StartError() const { return startError_; }
    DWORD Id() const { return id_; }
    bool Running() const;
    // True when the process ended within `timeoutMs`.
    bool WaitForExit(DWORD timeoutMs) const;
    DWORD ExitCode() const;

  private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    DWORD startError_ = 0;
};

// A path the build gives as the host sees it, as a Windows path under Wine.
std::string WinePath(std::string hostPath);
// The gateway program built with this tree, as a Windows path.
std::string GatewayExePath();

}  // namespace quillon::testing
