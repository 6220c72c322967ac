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

class FakeTimer : public TimerPort {
  public:
    int restarts = 0;  // times the countdown was (re)started by enabling
    void SetEnabled(bool enabled) override {
        if (enabled && !enabled_) {
            ++restarts;
        }
        enabled_ = enabled;
    }
    bool Enabled() const override { return enabled_; }
    void SetInterval(uint32_t milliseconds) override { interval_ = milliseconds; }
    uint32_t Interval() const override { return interval_; }
    void SetTickHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    void Tick() {
        if (enabled_ && handler_) {
            handler_();
        }
    }

  private:
    bool enabled_ = true;
    uint32_t interval_ = 500;
    std::function<void()> handler_;
};

}  // namespace quillon::fakes
