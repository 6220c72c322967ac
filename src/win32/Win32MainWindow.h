#pragma once
// A top-level window with a fixed single border as a FormPort, and the host
// of its child controls: it creates them, colours static text on request,
// routes WM_TIMER to its Win32Timer objects, clicks on static controls
// made clickable to their handlers, and WM_CLOSE and the end of the
// session (WM_ENDSESSION) to one close handler.
//
// The window is created hidden. Until Show() a window state set through
// the port is remembered and applied when the window appears, so a state
// restored before the first show does not flash the window.

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "ports/FormPort.h"
#include "win32/PixelTwips.h"

namespace quillon::win32 {

class Win32Timer;

struct FormDesign {
    std::string className;  // the window class, registered on first use
    std::string name;       // the form's Name: the prefix of its settings
    std::string caption;
    int iconResourceId = 0;  // the class icon in this executable; 0: the system's
    int clientWidthTwips = 0;
    int clientHeightTwips = 0;
};

struct ChildDesign {
    const char* className = "STATIC";
    DWORD style = 0;  // WS_CHILD is always added
    int id = 0;
    TwipsRect rect;
    std::string text;
};

class Win32MainWindow : public FormPort {
  public:
    explicit Win32MainWindow(const FormDesign& design);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    HWND Handle() const { return window_; }
    // The screen's logical pixels per inch when the window was laid out.
    int DesignPixelsPerInchX() const { return designDpiX_; }
    int DesignPixelsPerInchY() const { return designDpiY_; }

    // Creates a child control laid out in twips of the client area.
    HWND CreateChild(const ChildDesign& design);
    // Static controls in `control` draw their text in `color`.
    void SetTextColor(HWND control, COLORREF color) { textColors_[control] = color; }
    // A static control created with SS_NOTIFY: a click on it calls
    // `handler`, and the pointer over it is a hand.
    void MakeClickable(HWND control, std::function<void()> handler) {
        clickHandlers_[control] = std::move(handler);
    }
    // Called instead of destroying the window when the user closes it,
    // and when the Windows session ends.
    void SetCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }
    // Shows the window in the state set while it was hidden.
    void Show();

    // For Win32Timer: a timer id of this window and its routing.
    UINT_PTR AddTimer(Win32Timer* timer);
    void RemoveTimer(UINT_PTR id) { timers_.erase(id); }

    // FormPort
    std::string Name() const override { return name_; }
    void SetCaption(const std::string& caption) override;
    float Left() const override;
    float Top() const override;
    float Width() const override;
    float Height() const override;
    void SetLeft(float twips) override;
    void SetTop(float twips) override;
    void SetWidth(float twips) override;
    void SetHeight(float twips) override;
    int16_t GetWindowState() const override;
    void SetWindowState(int16_t state) override;
    int16_t GetBorderStyle() const override { return kBorderFixedSingle; }
    bool Visible() const override;
    int32_t LogicalPixelsX() const override;
    int32_t LogicalPixelsY() const override;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    HWND CheckedHandle() const;
    bool Hidden() const;
    bool IconicOrZoomed() const;
    POINT WorkspaceOffset() const;
    // The outer rectangle in screen pixels; the normal-state rectangle while
    // the window is minimised or maximised.
    RECT OuterRect() const;
    void ApplyOuterRect(const RECT& rect);
    int CheckedPixels(float twips, int pixelsPerInch) const;

    HWND window_ = nullptr;
    std::string name_;
    int designDpiX_ = 96;
    int designDpiY_ = 96;
    int16_t pendingState_ = kStateNormal;
    std::map<HWND, COLORREF> textColors_;
    std::map<HWND, std::function<void()>> clickHandlers_;
    std::map<UINT_PTR, Win32Timer*> timers_;
    UINT_PTR nextTimerId_ = 1;
    std::function<void()> closeHandler_;
};

}  // namespace quillon::win32
