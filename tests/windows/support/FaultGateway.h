#pragma once
// One copy of the gateway program for the fault tests: copied into its own
// scratch folder (so its ErrorLog.txt is its own), started, found, read,
// closed. Everything it starts is ended by the destructor. Deadlines are
// generous and nothing is timed.

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "windows/support/ChildProcess.h"
#include "windows/support/DdePeers.h"
#include "windows/support/WindowSearch.h"

namespace quillon::testing {

constexpr DWORD kFaultDeadlineMs = 20000;  // Wine on a shared, busy machine

class FaultGateway {
  public:
    FaultGateway();
    FaultGateway(const FaultGateway&) = delete;
    FaultGateway& operator=(const FaultGateway&) = delete;

    const std::string& Folder() const { return dir_.Path(); }
    const std::string& ExePath() const { return exe_; }

    // Starts the copy and waits for its visible main window; on failure
    // says what was seen instead.
    ::testing::AssertionResult Start();
    HWND Window() const { return window_; }
    ChildProcess* Process() { return process_.get(); }
    bool Running() const { return process_ != nullptr && process_->Running(); }

    std::string Mrp() const { return StatusLine("MRP status: "); }
    std::string Palavan() const { return StatusLine("Palavan status: "); }
    bool WaitMrp(const std::string& text, DWORD timeoutMs = kFaultDeadlineMs) const;
    bool WaitPalavan(const std::string& text, DWORD timeoutMs = kFaultDeadlineMs) const;
    // The window answers a sent message within `timeoutMs`.
    bool Responds(DWORD timeoutMs = 3000) const;
    // WM_CLOSE, as the user closes it; true when the process ended.
    bool Close();

    std::string ErrorLogPath() const { return dir_.Path() + "ErrorLog.txt"; }
    std::string ErrorLog() const { return ReadWholeFile(ErrorLogPath()); }

    bool StartDecoder(DdePeerProcess& decoder, const std::vector<std::string>& arguments) const;
    bool StartLogger(DdePeerProcess& logger, const std::string& outName,
                     std::vector<std::string> arguments = {}) const;
    std::vector<std::string> Received(const std::string& outName) const {
        return ReadLines(dir_.Path() + outName);
    }

  private:
    std::string StatusLine(const std::string& prefix) const;

    DdeScratchDir dir_;
    std::string exe_;
    std::unique_ptr<ChildProcess> process_;
    HWND window_ = nullptr;
};

// How often `what` occurs in `text`.
int CountOf(const std::string& text, const std::string& what);
// A name unique to this test program and moment, for named events.
std::string UniqueEventName(const char* base);
// Signals a named (manual-reset) event, creating it if needed.
void SignalEvent(const std::string& name);

}  // namespace quillon::testing
