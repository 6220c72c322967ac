#pragma once
// Fake labels and timers of a window.

#include <functional>
#include <string>

#include "ports/LabelPort.h"
#include "ports/TimerPort.h"

namespace quillon::fakes {

class FakeLabel : public LabelPort {
  public:
    void SetCaption(const std::string& text) override { caption_ = text; }
    std::string Caption() const override { return caption_; }
    void SetVisible(bool visible) override { visible_ = visible; }
    bool Visible() const override { return visible_; }

  private:
    std::string caption_ = "Label";
    bool visible_ = true;
};

// Tick() stands for one WM_TIMER. As the Win32 timer does, a tick is lost
// while the timer is disabled or its interval is 0, and a tick that arrives
// while the handler runs (the handler pumps messages) is dropped.
class FakeTimer : public TimerPort {
  public:
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    bool Enabled() const override { return enabled_; }
    void SetInterval(uint32_t milliseconds) override { interval_ = milliseconds; }
    uint32_t Interval() const override { return interval_; }
    void SetTickHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    void Tick() {
        if (!enabled_ || interval_ == 0 || ticking_ || !handler_) {
            return;
        }
        ticking_ = true;
        const std::function<void()> handler = handler_;  // the handler may replace itself
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{ticking_};
        handler();
    }

  private:
    bool enabled_ = true;
    uint32_t interval_ = 500;
    bool ticking_ = false;
    std::function<void()> handler_;
};

}  // namespace quillon::fakes
