#pragma once
// A program started by a test: the gateway, a simulator or any other. The
// destructor ends it if it still runs. Every start goes through
// StartProgram, which tries again when Wine refuses once.

#include <windows.h>

#include <string>
#include <vector>

namespace quillon::testing {

// How long a test waits for anything it expects: generous, for Wine on a
// shared, busy machine. Waits end as soon as the condition holds; nothing
// is timed.
constexpr DWORD kDeadlineMs = 20000;

// UTF-8 `utf8` as wide characters.
std::wstring Wide(const std::string& utf8);

// CreateProcessW of `program` with `commandLine` (program name included),
// both UTF-8 (plain ASCII is UTF-8 as well), tried again when refused;
// `error` is the last refusal's code, or 0.
bool StartProgram(const std::string& program, const std::string& commandLine,
                  PROCESS_INFORMATION& info, DWORD& error);

class ChildProcess {
  public:
    ChildProcess() = default;
    // Starts `program` with `arguments` as they go on its command line after
    // its quoted name, unquoted (a setup program's "/S /D=C:\dir" must stay
    // so); check Started().
    explicit ChildProcess(const std::string& program, const std::string& arguments = std::string());
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `arguments` (each quoted); for a simulator a
    // unique "--quit-event" is appended, for Quit(). False when it cannot
    // start (the reason is printed and kept in StartError()).
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               bool simulator = true);
    bool Started() const { return process_ != nullptr; }
    DWORD StartError() const { return startError_; }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }
    bool Running() const;

    // Asks a simulator to end in order (unregistering its DDE service) and
    // waits for the exit.
    bool Quit(DWORD timeoutMs = kDeadlineMs);
    // TerminateProcess: the way a crash looks to the peer.
    void Kill();
    // Waits for the exit, dispatching this thread's messages meanwhile;
    // false on timeout.
    bool WaitForExit(DWORD timeoutMs) const;
    // The exit code, or STILL_ACTIVE.
    DWORD ExitCode() const;

  private:
    bool Launch(const std::string& program, const std::string& commandLine);

    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    DWORD startError_ = 0;
    std::string quitEvent_;
};

// A path the build gives as the host sees it, as a Windows path under Wine.
std::string WinePath(std::string hostPath);
// The gateway program built with this tree, as a Windows path.
std::string GatewayExePath();

}  // namespace quillon::testing
