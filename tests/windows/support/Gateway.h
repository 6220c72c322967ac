#pragma once
// One run of the gateway program for the end-to-end tests: copied into its
// own scratch folder (so its ErrorLog.txt is its own), started, its window
// and labels found, read, closed; the destructor ends it if it still runs.
// The simulators beside it are started into the caller's ChildProcess
// objects, and write their output into the same folder.

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "fakes/CountOf.h"
#include "windows/support/ChildProcess.h"
#include "windows/support/DdePeers.h"
#include "windows/support/WindowSearch.h"

namespace quillon::testing {

class Gateway {
  public:
    Gateway();
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    const std::string& Folder() const { return dir_.Path(); }
    const std::string& ExePath() const { return exe_; }

    // Starts the copy and waits until its main window is shown with its
    // status labels; on failure says what was seen instead.
    ::testing::AssertionResult Start();
    HWND Window() const { return window_; }
    // The window's outer rectangle on the screen.
    RECT Rect() const;
    ChildProcess* Process() { return process_.get(); }
    bool Running() const { return process_ != nullptr && process_->Running(); }

    std::string Mrp() const { return StatusLine("MRP status: "); }
    std::string Palavan() const { return StatusLine("Palavan status: "); }
    bool WaitMrp(const std::string& text, DWORD timeoutMs = kDeadlineMs) const;
    bool WaitPalavan(const std::string& text, DWORD timeoutMs = kDeadlineMs) const;
    // The window answers a sent message within `timeoutMs`.
    bool Responds(DWORD timeoutMs = 3000) const;
    // WM_CLOSE, as the user closes it; true when the process ended.
    bool Close();

    std::string ErrorLogPath() const { return dir_.Path() + "ErrorLog.txt"; }
    std::string ErrorLog() const { return ReadWholeFile(ErrorLogPath()); }

    bool StartDecoder(ChildProcess& decoder, const std::vector<std::string>& arguments) const;
    // A logger writing what it receives to `outName` in the scratch folder.
    bool StartLogger(ChildProcess& logger, const std::string& outName,
                     std::vector<std::string> arguments = {}) const;
    std::vector<std::string> Received(const std::string& outName) const {
        return ReadLines(dir_.Path() + outName);
    }

  private:
    std::string StatusLine(const std::string& prefix) const;

    ScratchDir dir_;
    std::string exe_;
    std::unique_ptr<ChildProcess> process_;
    HWND window_ = nullptr;
};

using fakes::CountOf;

}  // namespace quillon::testing
