#pragma once
// A window's device context (GetDC), released once. A null window gives the
// screen's device context.

#include <windows.h>

namespace quillon::win32 {

class ScopedWindowDC {
  public:
    explicit ScopedWindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~ScopedWindowDC() {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;

    HDC Get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

}  // namespace quillon::win32
