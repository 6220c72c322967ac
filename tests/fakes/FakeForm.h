#pragma once
// A window in twips that remembers its normal-state rectangle apart from
// its state, as a real top-level window does, and records every state it
// was given. As the Win32 window does, it reports and moves the normal-state
// rectangle in every state; setting a state outside 0..2 raises 380.

#include <cstdint>
#include <string>
#include <vector>

#include "base/RuntimeError.h"
#include "ports/FormPort.h"

namespace quillon::fakes {

class FakeForm : public FormPort {
  public:
    std::string name = "MRP_UI";
    std::string caption;
    // The normal-state rectangle (the design rectangle until changed).
    float left = 1200, top = 900, width = 6000, height = 3000;
    int16_t state = kStateNormal;
    int16_t borderStyle = kBorderSizable;
    bool visible = true;
    int32_t dpiX = 96, dpiY = 96;
    std::vector<int16_t> statesSet;
    // How many more Visible() calls answer false (a window that is slow to
    // come back from the minimised state).
    mutable int invisibleReads = 0;
    mutable int visibleReads = 0;

    std::string Name() const override { return name; }
    void SetCaption(const std::string& text) override { caption = text; }
    float Left() const override { return left; }
    float Top() const override { return top; }
    float Width() const override { return width; }
    float Height() const override { return height; }
    // Moving a minimised or maximised window changes its normal rectangle.
    void SetLeft(float twips) override { left = twips; }
    void SetTop(float twips) override { top = twips; }
    void SetWidth(float twips) override { width = twips; }
    void SetHeight(float twips) override { height = twips; }
    int16_t GetWindowState() const override { return state; }
    void SetWindowState(int16_t value) override {
        if (value < kStateNormal || value > kStateMaximized) {
            Raise(kErrInvalidPropertyValue);
        }
        statesSet.push_back(value);
        state = value;
    }
    int16_t GetBorderStyle() const override { return borderStyle; }
    bool Visible() const override {
        ++visibleReads;
        if (invisibleReads > 0) {
            --invisibleReads;
            return false;
        }
        return visible;
    }
    int32_t LogicalPixelsX() const override { return dpiX; }
    int32_t LogicalPixelsY() const override { return dpiY; }
};

}  // namespace quillon::fakes
