#pragma once
// Run control shared by the simulators: Ctrl+C, a named quit event and a
// run time limit, all checked from the message pump.

#include <windows.h>

#include <string>

namespace quillon::tools {

class SimRun {
  public:
    SimRun();
    ~SimRun();
    SimRun(const SimRun&) = delete;
    SimRun& operator=(const SimRun&) = delete;

    // Quit when the named event (created if missing) is signalled.
    void SetQuitEvent(const std::string& name);
    // Quit `milliseconds` after start (0: never).
    void SetTimeLimit(DWORD milliseconds) { limit_ = milliseconds; }
    bool ShouldQuit() const;

    // Waits for the named event (created if missing), pumping messages.
    // False when told to quit first.
    template <class Pump>
    bool WaitForEvent(const std::string& name, Pump pump) {
        HANDLE event = OpenOrCreate(name);
        bool signalled = false;
        while (!signalled && !ShouldQuit()) {
            signalled = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
            if (!signalled && !pump(20)) {
                break;
            }
        }
        CloseHandle(event);
        return signalled;
    }

  private:
    static HANDLE OpenOrCreate(const std::string& name);
    HANDLE quitEvent_ = nullptr;
    DWORD start_;
    DWORD limit_ = 0;
};

// Options of the form --name value, shared parsing for the simulators.
bool ParseUnsigned(const char* text, unsigned long& value);

}  // namespace quillon::tools
