#include "win32/Win32MainWindow.h"

#include <cmath>

#include "base/RuntimeError.h"
#include "win32/ScopedWindowDC.h"
#include "win32/Win32Timer.h"

namespace quillon::win32 {

namespace {

constexpr DWORD kFixedSingleStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFixedSingleExStyle = 0;

// The icon in the size the system asks for, so the small one is drawn from
// its own image rather than shrunk; null when the resource is missing.
HICON LoadIconResource(HINSTANCE instance, int id, int widthMetric, int heightMetric) {
    if (id == 0) {
        return nullptr;
    }
    return static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON,
                                           ::GetSystemMetrics(widthMetric),
                                           ::GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

void RegisterWindowClass(const FormDesign& design, WNDPROC procedure) {
    const std::string& className = design.className;
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExA(instance, className.c_str(), &existing)) {
        return;
    }
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hIcon = LoadIconResource(instance, design.iconResourceId, SM_CXICON, SM_CYICON);
    if (windowClass.hIcon == nullptr) {
        windowClass.hIcon = ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    }
    windowClass.hIconSm =
        LoadIconResource(instance, design.iconResourceId, SM_CXSMICON, SM_CYSMICON);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className.c_str();
    if (::RegisterClassExA(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        Raise(kErrInternal);
    }
}

}  // namespace

Win32MainWindow::Win32MainWindow(const FormDesign& design) : name_(design.name) {
    {
        ScopedWindowDC screen(nullptr);
        if (screen.Get() != nullptr) {
            designDpiX_ = ::GetDeviceCaps(screen.Get(), LOGPIXELSX);
            designDpiY_ = ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
        }
    }
    RegisterWindowClass(design, &Win32MainWindow::WindowProc);
    RECT outer{0, 0, TwipsToPixels(design.clientWidthTwips, designDpiX_),
               TwipsToPixels(design.clientHeightTwips, designDpiY_)};
    ::AdjustWindowRectEx(&outer, kFixedSingleStyle, FALSE, kFixedSingleExStyle);
    window_ = ::CreateWindowExA(kFixedSingleExStyle, design.className.c_str(),
                                design.caption.c_str(), kFixedSingleStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                                nullptr, nullptr, ::GetModuleHandleA(nullptr), this);
    if (window_ == nullptr) {
        Raise(kErrInternal);
    }
}

Win32MainWindow::~Win32MainWindow() {
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
}

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* self = static_cast<Win32MainWindow*>(create->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) {
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT Win32MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND window = window_;
    switch (message) {
        case WM_TIMER: {
            auto timer = timers_.find(static_cast<UINT_PTR>(wParam));
            if (timer != timers_.end()) {
                timer->second->Tick();
            }
            return 0;
        }
        case WM_CTLCOLORSTATIC: {
            auto color = textColors_.find(reinterpret_cast<HWND>(lParam));
            if (color == textColors_.end()) {
                break;
            }
            const HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, color->second);
            ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_COMMAND: {
            if (HIWORD(wParam) != STN_CLICKED) {
                break;
            }
            auto click = clickHandlers_.find(reinterpret_cast<HWND>(lParam));
            if (click != clickHandlers_.end()) {
                // A copy: the handler may run a modal loop or replace itself.
                const std::function<void()> handler = click->second;
                handler();
                return 0;
            }
            break;
        }
        case WM_SETCURSOR:
            // A static control asks its parent first; the hit test is only
            // HTCLIENT (not HTTRANSPARENT) when the control has SS_NOTIFY.
            if (LOWORD(lParam) == HTCLIENT &&
                clickHandlers_.count(reinterpret_cast<HWND>(wParam)) != 0) {
                ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
                return TRUE;
            }
            break;
        case WM_CLOSE:
            if (closeHandler_) {
                // The handler ends the process or the message loop; the
                // window itself is destroyed with this object.
                const std::function<void()> handler = closeHandler_;
                handler();
                return 0;
            }
            break;
        case WM_QUERYENDSESSION:
            return TRUE;  // closing is never refused
        case WM_ENDSESSION:
            // The session ends (sign-out, restart, shutdown): what a close
            // does, before Windows ends the process. An end that was called
            // off (wParam FALSE) changes nothing.
            if (wParam != FALSE && closeHandler_) {
                const std::function<void()> handler = closeHandler_;
                handler();
            }
            return 0;
        case WM_NCDESTROY:
            ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            window_ = nullptr;
            break;
        default:
            break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

HWND Win32MainWindow::CreateChild(const ChildDesign& design) {
    const HWND child = ::CreateWindowExA(
        0, design.className, design.text.c_str(), WS_CHILD | design.style,
        TwipsToPixels(design.rect.left, designDpiX_), TwipsToPixels(design.rect.top, designDpiY_),
        TwipsToPixels(design.rect.width, designDpiX_),
        TwipsToPixels(design.rect.height, designDpiY_), CheckedHandle(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)), ::GetModuleHandleA(nullptr),
        nullptr);
    if (child == nullptr) {
        Raise(kErrInternal);
    }
    return child;
}

void Win32MainWindow::Show() {
    static constexpr int kShowCommands[] = {SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED};
    ::ShowWindow(CheckedHandle(), kShowCommands[pendingState_]);
    ::UpdateWindow(window_);
}

UINT_PTR Win32MainWindow::AddTimer(Win32Timer* timer) {
    const UINT_PTR id = nextTimerId_++;
    timers_[id] = timer;
    return id;
}

void Win32MainWindow::SetCaption(const std::string& caption) {
    if (!::SetWindowTextA(CheckedHandle(), caption.c_str())) {
        Raise(kErrInternal);
    }
}

HWND Win32MainWindow::CheckedHandle() const {
    if (window_ == nullptr) {
        Raise(kErrInvalidProcedureCall);  // the window is gone
    }
    return window_;
}

bool Win32MainWindow::Hidden() const {
    return !::IsWindowVisible(CheckedHandle());
}

bool Win32MainWindow::IconicOrZoomed() const {
    return ::IsIconic(CheckedHandle()) || ::IsZoomed(window_);
}

// GetWindowPlacement's normal rectangle is in workspace coordinates, which
// start at the work area's corner, not the screen's: they differ from
// screen coordinates when a task bar sits at the top or the left.
POINT Win32MainWindow::WorkspaceOffset() const {
    POINT offset{0, 0};
    if ((::GetWindowLongPtrA(CheckedHandle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0) {
        return offset;  // tool windows get screen coordinates
    }
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (::GetMonitorInfoA(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &info)) {
        offset.x = info.rcWork.left - info.rcMonitor.left;
        offset.y = info.rcWork.top - info.rcMonitor.top;
    }
    return offset;
}

RECT Win32MainWindow::OuterRect() const {
    RECT rect{};
    if (IconicOrZoomed()) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        if (!::GetWindowPlacement(window_, &placement)) {
            Raise(kErrInternal);
        }
        rect = placement.rcNormalPosition;
        const POINT offset = WorkspaceOffset();
        ::OffsetRect(&rect, offset.x, offset.y);
        return rect;
    }
    if (!::GetWindowRect(window_, &rect)) {
        Raise(kErrInternal);
    }
    return rect;
}

void Win32MainWindow::ApplyOuterRect(const RECT& rect) {
    if (IconicOrZoomed()) {
        // Moving a minimised or maximised window changes the rectangle it
        // will have in the normal state, and leaves its state alone.
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        if (!::GetWindowPlacement(window_, &placement)) {
            Raise(kErrInternal);
        }
        const POINT offset = WorkspaceOffset();
        placement.rcNormalPosition = rect;
        ::OffsetRect(&placement.rcNormalPosition, -offset.x, -offset.y);
        placement.showCmd = ::IsIconic(window_) ? SW_SHOWMINNOACTIVE : SW_SHOWMAXIMIZED;
        placement.flags = 0;
        if (!::SetWindowPlacement(window_, &placement)) {
            Raise(kErrInternal);
        }
        return;
    }
    if (!::SetWindowPos(window_, nullptr, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE)) {
        Raise(kErrInternal);
    }
}

int Win32MainWindow::CheckedPixels(float twips, int pixelsPerInch) const {
    // Window coordinates are 16-bit on the way to the window manager; a
    // length beyond any screen is an invalid value, not a huge window.
    const double pixels = static_cast<double>(twips) * pixelsPerInch / kTwipsPerInch;
    if (!std::isfinite(pixels) || std::fabs(pixels) > 32767.0) {
        Raise(kErrInvalidPropertyValue);
    }
    return static_cast<int>(std::lround(pixels));
}

float Win32MainWindow::Left() const {
    return PixelsToTwips(OuterRect().left, LogicalPixelsX());
}

float Win32MainWindow::Top() const {
    return PixelsToTwips(OuterRect().top, LogicalPixelsY());
}

float Win32MainWindow::Width() const {
    const RECT rect = OuterRect();
    return PixelsToTwips(rect.right - rect.left, LogicalPixelsX());
}

float Win32MainWindow::Height() const {
    const RECT rect = OuterRect();
    return PixelsToTwips(rect.bottom - rect.top, LogicalPixelsY());
}

void Win32MainWindow::SetLeft(float twips) {
    const int left = CheckedPixels(twips, LogicalPixelsX());
    RECT rect = OuterRect();
    ::OffsetRect(&rect, left - rect.left, 0);
    ApplyOuterRect(rect);
}

void Win32MainWindow::SetTop(float twips) {
    const int top = CheckedPixels(twips, LogicalPixelsY());
    RECT rect = OuterRect();
    ::OffsetRect(&rect, 0, top - rect.top);
    ApplyOuterRect(rect);
}

void Win32MainWindow::SetWidth(float twips) {
    const int width = CheckedPixels(twips, LogicalPixelsX());
    RECT rect = OuterRect();
    rect.right = rect.left + (width < 0 ? 0 : width);
    ApplyOuterRect(rect);
}

void Win32MainWindow::SetHeight(float twips) {
    const int height = CheckedPixels(twips, LogicalPixelsY());
    RECT rect = OuterRect();
    rect.bottom = rect.top + (height < 0 ? 0 : height);
    ApplyOuterRect(rect);
}

int16_t Win32MainWindow::GetWindowState() const {
    if (Hidden()) {
        return pendingState_;
    }
    if (::IsIconic(window_)) {
        return kStateMinimized;
    }
    return ::IsZoomed(window_) ? kStateMaximized : kStateNormal;
}

void Win32MainWindow::SetWindowState(int16_t state) {
    if (state < kStateNormal || state > kStateMaximized) {
        Raise(kErrInvalidPropertyValue);
    }
    if (Hidden()) {
        pendingState_ = state;
        return;
    }
    if (state == GetWindowState()) {
        return;
    }
    if (state == kStateNormal) {
        // SW_RESTORE on a window minimised from the maximised state brings
        // it back maximised; the placement makes it normal in every case.
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        if (!::GetWindowPlacement(window_, &placement)) {
            Raise(kErrInternal);
        }
        placement.showCmd = SW_SHOWNORMAL;
        placement.flags = 0;
        if (!::SetWindowPlacement(window_, &placement)) {
            Raise(kErrInternal);
        }
        return;
    }
    ::ShowWindow(window_, state == kStateMinimized ? SW_MINIMIZE : SW_MAXIMIZE);
}

bool Win32MainWindow::Visible() const {
    return !Hidden();
}

int32_t Win32MainWindow::LogicalPixelsX() const {
    ScopedWindowDC dc(CheckedHandle());
    if (dc.Get() == nullptr) {
        Raise(kErrInternal);
    }
    return ::GetDeviceCaps(dc.Get(), LOGPIXELSX);
}

int32_t Win32MainWindow::LogicalPixelsY() const {
    ScopedWindowDC dc(CheckedHandle());
    if (dc.Get() == nullptr) {
        Raise(kErrInternal);
    }
    return ::GetDeviceCaps(dc.Get(), LOGPIXELSY);
}

}  // namespace quillon::win32
