#pragma once
// LabelPort on a standard STATIC child control of a Win32MainWindow.

#include <windows.h>

#include <string>

#include "ports/LabelPort.h"
#include "win32/PixelTwips.h"

namespace quillon::win32 {

class Win32MainWindow;

struct LabelDesign {
    int id = 0;
    TwipsRect rect;
    std::string caption;
    bool visible = true;
    bool notify = false;   // SS_NOTIFY: the label reports clicks to its window
    HFONT font = nullptr;  // must outlive the label; null: the system font
    bool colored = false;  // draw the text in `color`
    COLORREF color = 0;
};

class Win32Label : public LabelPort {
  public:
    Win32Label(Win32MainWindow& window, const LabelDesign& design);

    HWND Handle() const { return label_; }

    void SetCaption(const std::string& text) override;
    std::string Caption() const override;
    void SetVisible(bool visible) override;
    bool Visible() const override;

  private:
    HWND label_;
};

}  // namespace quillon::win32
