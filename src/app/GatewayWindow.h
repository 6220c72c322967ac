#pragma once
// The gateway window's Win32 side: the top-level window MRP_UI, its three
// labels, the two hidden DDE link controls and the two retry timers, laid
// out in twips. It builds and owns the controls and decides nothing: what
// the window does (links, status lines, forwarding) is gateway/MrpUi, which
// drives these controls through Controls(). Created hidden; the core loads
// it. A click on the "see ErrorLog" label opens the log in a text viewer.

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "app/TextFileViewer.h"
#include "gateway/MrpUi.h"
#include "win32/ScopedFont.h"
#include "win32/Win32DdeLink.h"
#include "win32/Win32Label.h"
#include "win32/Win32MainWindow.h"
#include "win32/Win32Timer.h"

namespace quillon::app {

class GatewayWindow {
  public:
    // `openLog` shows the error log when its label is clicked.
    explicit GatewayWindow(TextFileOpener openLog = OpenInTextViewer);
    GatewayWindow(const GatewayWindow&) = delete;
    GatewayWindow& operator=(const GatewayWindow&) = delete;

    win32::Win32MainWindow& Form() { return form_; }
    win32::Win32Label& ErrorLogLabel() { return errorLogLabel_; }
    MrpUiControls Controls();
    // Where the error log is at the moment of a click: the core sets its
    // path during load, after this window exists.
    void SetErrorLogPath(std::function<std::string()> errorLogPath) {
        errorLogPath_ = std::move(errorLogPath);
    }

  private:
    void OpenErrorLog();

    // Declared in the order of creation; members are destroyed in reverse,
    // so the timers and links go before the window they live on.
    win32::Win32MainWindow form_;
    win32::ScopedFont labelFont_;
    win32::ScopedFont errorLogFont_;
    win32::Win32Label mrpStatusLabel_;
    win32::Win32Label palavanStatusLabel_;
    win32::Win32Label errorLogLabel_;
    HWND mrpDdeControl_;
    HWND palavanDdeCommandControl_;
    win32::Win32DdeLink mrpDde_;
    win32::Win32DdeLink palavanDdeCommand_;
    win32::Win32Timer mrpConnectTimer_;
    win32::Win32Timer palavanConnectTimer_;
    TextFileOpener openLog_;
    std::function<std::string()> errorLogPath_;
};

}  // namespace quillon::app
