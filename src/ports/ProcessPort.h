#pragma once
// Port: the process and its user interface services that are not tied to
// one window: previous-instance query, modal message box, one-time dispatch
// of waiting window messages, sleeping and ending the process.

#include <cstdint>
#include <string>

namespace quillon {

class ProcessPort {
  public:
    virtual ~ProcessPort() = default;
    // True when another copy of this program is running in the user's session.
    virtual bool PrevInstance() = 0;
    // Modal message box with an OK button only and no icon.
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
    // Dispatches the window messages that are waiting, once, and returns.
    virtual void DoEvents() = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
    // Ends the process at once. A fake may return; callers return after it.
    virtual void EndProcess() = 0;
};

}  // namespace quillon
