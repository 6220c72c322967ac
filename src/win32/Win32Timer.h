#pragma once
// TimerPort on SetTimer/KillTimer of a Win32MainWindow, which routes the
// timer's WM_TIMER messages back here.

#include <windows.h>

#include "ports/TimerPort.h"

namespace quillon::win32 {

class Win32MainWindow;

class Win32Timer : public TimerPort {
  public:
    // Starts disabled. Must not outlive `window`.
    explicit Win32Timer(Win32MainWindow& window);
    ~Win32Timer() override;
    Win32Timer(const Win32Timer&) = delete;
    Win32Timer& operator=(const Win32Timer&) = delete;

    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void SetInterval(uint32_t milliseconds) override;
    uint32_t Interval() const override { return interval_; }
    void SetTickHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

    // Called by the window for each WM_TIMER of this timer.
    void Tick();

  private:
    void Start();
    void Stop();

    Win32MainWindow& window_;
    UINT_PTR id_;
    bool enabled_ = false;
    uint32_t interval_ = 0;
    bool ticking_ = false;
    std::function<void()> handler_;
};

}  // namespace quillon::win32
