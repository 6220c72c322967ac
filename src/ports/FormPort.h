#pragma once
// Port: a top-level window (form). Lengths are twips (1440 to the logical
// inch); Left/Top/Width/Height are the outer rectangle relative to the
// top-left corner of the primary screen.

#include <cstdint>
#include <string>

namespace quillon {

enum WindowState : int16_t { kStateNormal = 0, kStateMinimized = 1, kStateMaximized = 2 };

// Border styles 2 (sizable) and 5 (sizable tool window) may be resized.
enum BorderStyle : int16_t {
    kBorderNone = 0,
    kBorderFixedSingle = 1,
    kBorderSizable = 2,
    kBorderFixedDialog = 3,
    kBorderFixedToolWindow = 4,
    kBorderSizableToolWindow = 5,
};

class FormPort {
  public:
    virtual ~FormPort() = default;
    virtual std::string Name() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual float Left() const = 0;
    virtual float Top() const = 0;
    virtual float Width() const = 0;
    virtual float Height() const = 0;
    virtual void SetLeft(float twips) = 0;
    virtual void SetTop(float twips) = 0;
    virtual void SetWidth(float twips) = 0;
    virtual void SetHeight(float twips) = 0;
    virtual int16_t GetWindowState() const = 0;
    // Raises 380 (Invalid property value) for a state other than 0, 1, 2.
    virtual void SetWindowState(int16_t state) = 0;
    virtual int16_t GetBorderStyle() const = 0;
    virtual bool Visible() const = 0;
    // Logical pixels per inch of the window's device context
    // (GetDeviceCaps LOGPIXELSX / LOGPIXELSY).
    virtual int32_t LogicalPixelsX() const = 0;
    virtual int32_t LogicalPixelsY() const = 0;
};

}  // namespace quillon
