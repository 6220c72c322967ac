#pragma once
// Port: a window timer with a millisecond interval. Enabling a disabled
// timer (or changing its interval) restarts its countdown. Ticks arrive as
// window messages on the user-interface thread.

#include <cstdint>
#include <functional>

namespace quillon {

class TimerPort {
  public:
    virtual ~TimerPort() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetInterval(uint32_t milliseconds) = 0;
    virtual uint32_t Interval() const = 0;
    virtual void SetTickHandler(std::function<void()> handler) = 0;
};

}  // namespace quillon
