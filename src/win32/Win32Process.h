#pragma once
// ProcessPort on Win32: a named mutex for the previous-instance query,
// MessageBoxA, a one-time message pump, Sleep and ExitProcess.

#include <windows.h>

#include <string>
#include <utility>

#include "ports/ProcessPort.h"
#include "win32/ScopedHandle.h"

namespace quillon::win32 {

class Win32Process : public ProcessPort {
  public:
    // `instanceName` names the mutex that marks a running copy
    // (identity::kInstanceMutex).
    explicit Win32Process(std::string instanceName) : instanceName_(std::move(instanceName)) {}

    // The window that owns message boxes (may stay null).
    void SetOwner(HWND owner) { owner_ = owner; }

    // Creates the mutex on the first call and holds it for the life of the
    // process; later calls give the first answer again.
    bool PrevInstance() override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    void DoEvents() override;
    void Sleep(uint32_t milliseconds) override;
    void EndProcess() override;

  private:
    std::string instanceName_;
    ScopedHandle instanceMutex_;
    bool asked_ = false;
    bool previousInstance_ = false;
    HWND owner_ = nullptr;
};

}  // namespace quillon::win32
