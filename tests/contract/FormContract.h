#pragma once
// What every top-level window does with its rectangle and state, as one
// table run against the fake window (host tests) and the Win32 window
// (under Wine). The window must be visible and normal; `settle` lets a
// state change take effect (messages pumped). Lengths are whole pixels of
// the window's resolution, so twips read back exactly.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "ports/FormPort.h"

namespace quillon::contract {

inline void RunFormContract(FormPort& form, const std::function<void()>& settle) {
    enum Op { kRect, kLeft, kState };
    struct Step {
        Op op;
        int value;  // pixels, or the state
        int32_t error;
        int16_t state;                 // read back afterwards
        int left, top, width, height;  // the rectangle read back, in pixels
    };
    const Step steps[] = {
        {kRect, 0, 0, kStateNormal, 100, 50, 300, 200},  // sets the rectangle it expects
        // Minimised or maximised, the window reports the rectangle it has in
        // the normal state; moved while minimised, it moves that rectangle
        // and stays minimised.
        {kState, kStateMinimized, 0, kStateMinimized, 100, 50, 300, 200},
        {kLeft, 120, 0, kStateMinimized, 120, 50, 300, 200},
        {kState, kStateMaximized, 0, kStateMaximized, 120, 50, 300, 200},
        {kState, kStateNormal, 0, kStateNormal, 120, 50, 300, 200},
        {kState, 3, kErrInvalidPropertyValue, kStateNormal, 120, 50, 300, 200},
        {kState, -1, kErrInvalidPropertyValue, kStateNormal, 120, 50, 300, 200},
    };
    const float twipsX = 1440.0f / static_cast<float>(form.LogicalPixelsX());
    const float twipsY = 1440.0f / static_cast<float>(form.LogicalPixelsY());
    int index = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("step " + std::to_string(index++));
        const int32_t error = CollectError([&] {
            switch (step.op) {
                case kRect:
                    form.SetLeft(static_cast<float>(step.left) * twipsX);
                    form.SetTop(static_cast<float>(step.top) * twipsY);
                    form.SetWidth(static_cast<float>(step.width) * twipsX);
                    form.SetHeight(static_cast<float>(step.height) * twipsY);
                    break;
                case kLeft:
                    form.SetLeft(static_cast<float>(step.value) * twipsX);
                    break;
                case kState:
                    form.SetWindowState(static_cast<int16_t>(step.value));
                    break;
            }
        });
        settle();
        EXPECT_EQ(error, step.error);
        EXPECT_EQ(form.GetWindowState(), step.state);
        EXPECT_FLOAT_EQ(form.Left(), static_cast<float>(step.left) * twipsX);
        EXPECT_FLOAT_EQ(form.Top(), static_cast<float>(step.top) * twipsY);
        EXPECT_FLOAT_EQ(form.Width(), static_cast<float>(step.width) * twipsX);
        EXPECT_FLOAT_EQ(form.Height(), static_cast<float>(step.height) * twipsY);
    }
}

}  // namespace quillon::contract
