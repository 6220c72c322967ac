#pragma once
// Owns a GDI font and deletes it once. The font must outlive every control
// it was given to with WM_SETFONT: controls do not copy it.

#include <windows.h>

#include <cmath>

namespace quillon::win32 {

class ScopedFont {
  public:
    ScopedFont() = default;
    explicit ScopedFont(HFONT font) : font_(font) {}
    ~ScopedFont() {
        if (font_ != nullptr) {
            ::DeleteObject(font_);
        }
    }
    ScopedFont(const ScopedFont&) = delete;
    ScopedFont& operator=(const ScopedFont&) = delete;

    // A font of `points` (1/72 inch) at `pixelsPerInch`; the negative height
    // asks for the character height, not the cell height.
    static HFONT Create(const char* face, double points, bool bold, int pixelsPerInch) {
        const int height = -static_cast<int>(std::lround(points * pixelsPerInch / 72.0));
        return ::CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                             ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, face);
    }

    HFONT Get() const { return font_; }

  private:
    HFONT font_ = nullptr;
};

}  // namespace quillon::win32
