#include "win32/Win32Monitors.h"

#include <windows.h>

#include <exception>

#include "base/RuntimeError.h"
#include "win32/PixelTwips.h"
#include "win32/ScopedWindowDC.h"

namespace quillon::win32 {

namespace {

struct EnumContext {
    const std::function<bool(const PixelRect&)>* callback;
    std::exception_ptr error;
};

// An exception must not unwind through user32's frames: it is kept, the
// enumeration stopped, and the exception raised again once user32 returns.
BOOL CALLBACK MonitorEnumProc(HMONITOR, HDC, LPRECT rect, LPARAM context) {
    auto* enumContext = reinterpret_cast<EnumContext*>(context);
    try {
        const PixelRect pixels{rect->left, rect->top, rect->right, rect->bottom};
        return (*enumContext->callback)(pixels) ? TRUE : FALSE;
    } catch (...) {
        enumContext->error = std::current_exception();
        return FALSE;
    }
}

// Pixels of the primary screen times twips per pixel of the screen's
// logical inch.
float ScreenTwips(int metric, int logPixelsIndex) {
    const int pixels = ::GetSystemMetrics(metric);
    ScopedWindowDC screen(nullptr);
    if (screen.Get() == nullptr) {
        Raise(kErrInternal);
    }
    const int pixelsPerInch = ::GetDeviceCaps(screen.Get(), logPixelsIndex);
    if (pixelsPerInch <= 0) {
        Raise(kErrDivisionByZero);
    }
    return PixelsToTwips(pixels, pixelsPerInch);
}

}  // namespace

bool Win32Monitors::EnumDisplayMonitors(const std::function<bool(const PixelRect&)>& callback) {
    EnumContext context{&callback, nullptr};
    const BOOL result = ::EnumDisplayMonitors(nullptr, nullptr, MonitorEnumProc,
                                              reinterpret_cast<LPARAM>(&context));
    if (context.error) {
        std::rethrow_exception(context.error);
    }
    return result != FALSE;
}

uintptr_t Win32Monitors::MonitorFromRect(const PixelRect& rect) {
    const RECT pixels{rect.left, rect.top, rect.right, rect.bottom};
    return reinterpret_cast<uintptr_t>(::MonitorFromRect(&pixels, MONITOR_DEFAULTTONULL));
}

float Win32Monitors::ScreenWidthTwips() {
    return ScreenTwips(SM_CXSCREEN, LOGPIXELSX);
}

float Win32Monitors::ScreenHeightTwips() {
    return ScreenTwips(SM_CYSCREEN, LOGPIXELSY);
}

}  // namespace quillon::win32
