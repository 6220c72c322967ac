#pragma once
// Converts between twips (1440 to the logical inch, ports/Twips.h) and
// pixels at a given number of logical pixels per inch, for the adapters
// that lay out and measure windows.

#include <cmath>

#include "ports/Twips.h"

namespace quillon::win32 {

inline int TwipsToPixels(double twips, int pixelsPerInch) {
    return static_cast<int>(std::lround(twips * pixelsPerInch / kTwipsPerInch));
}

inline float PixelsToTwips(int pixels, int pixelsPerInch) {
    return static_cast<float>(static_cast<double>(pixels) * kTwipsPerInch / pixelsPerInch);
}

// A control's rectangle in twips of its parent's client area.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

}  // namespace quillon::win32
