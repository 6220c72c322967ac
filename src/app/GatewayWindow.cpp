#include "app/GatewayWindow.h"

#include "app/AppResources.h"
#include "ports/ProgramIdentity.h"

namespace quillon::app {

namespace {

// The window's design: client area and controls in twips.
constexpr int kClientWidth = 4380;
constexpr int kClientHeight = 1305;

enum ControlId : int {
    kErrorLogLabelId = 100,
    kMrpDdeId,
    kMrpStatusLabelId,
    kPalavanDdeCommandId,
    kPalavanStatusLabelId,
};

// The scalable form of the classic dialog face: the bitmap "MS Sans Serif"
// has no sizes for 8.25 pt at 150% or 200%, so its text would be drawn from
// a smaller bitmap. The program is DPI-aware (its manifest), so Windows does
// not stretch the window; the text must scale by itself.
constexpr const char* kLabelFace = "Microsoft Sans Serif";
constexpr double kLabelPoints = 8.25;
constexpr COLORREF kErrorLogColor = RGB(255, 0, 0);

win32::FormDesign MainWindowDesign() {
    win32::FormDesign design;
    design.className = identity::kWindowClass;
    design.name = "MRP_UI";
    design.caption = "MRP_UI";
    design.iconResourceId = QUILLON_ICON_ID;
    design.clientWidthTwips = kClientWidth;
    design.clientHeightTwips = kClientHeight;
    return design;
}

win32::LabelDesign Label(int id, win32::TwipsRect rect, const char* caption, HFONT font) {
    win32::LabelDesign design;
    design.id = id;
    design.rect = rect;
    design.caption = caption;
    design.font = font;
    return design;
}

win32::LabelDesign ErrorLogLabelDesign(HFONT font) {
    win32::LabelDesign design =
        Label(kErrorLogLabelId, {120, 960, 1095, 255}, "see ErrorLog", font);
    design.colored = true;
    design.color = kErrorLogColor;
    design.notify = true;
    return design;
}

HWND HiddenControl(win32::Win32MainWindow& form, const char* className, DWORD style, int id) {
    win32::ChildDesign design;
    design.className = className;
    design.style = style;  // without WS_VISIBLE: never shown
    design.id = id;
    return form.CreateChild(design);
}

}  // namespace

GatewayWindow::GatewayWindow(TextFileOpener openLog)
    : form_(MainWindowDesign()),
      labelFont_(
          win32::ScopedFont::Create(kLabelFace, kLabelPoints, false, form_.DesignPixelsPerInchY())),
      errorLogFont_(
          win32::ScopedFont::Create(kLabelFace, kLabelPoints, true, form_.DesignPixelsPerInchY())),
      mrpStatusLabel_(form_, Label(kMrpStatusLabelId, {120, 240, 2895, 255}, "MRPStatusLabel",
                                   labelFont_.Get())),
      palavanStatusLabel_(form_, Label(kPalavanStatusLabelId, {120, 600, 4095, 255},
                                       "PalavanStatusLabel", labelFont_.Get())),
      errorLogLabel_(form_, ErrorLogLabelDesign(errorLogFont_.Get())),
      mrpDdeControl_(HiddenControl(form_, "EDIT", ES_AUTOHSCROLL, kMrpDdeId)),
      palavanDdeCommandControl_(
          HiddenControl(form_, "STATIC", SS_LEFT | SS_NOPREFIX, kPalavanDdeCommandId)),
      mrpDde_(mrpDdeControl_),
      palavanDdeCommand_(palavanDdeCommandControl_),
      mrpConnectTimer_(form_),
      palavanConnectTimer_(form_),
      openLog_(std::move(openLog)) {
    // Both timers are enabled at design time with 500 ms; the core stops
    // them when it takes the window, and its load handler's last step
    // starts them.
    for (win32::Win32Timer* timer : {&mrpConnectTimer_, &palavanConnectTimer_}) {
        timer->SetInterval(500);
        timer->SetEnabled(true);
    }
    form_.MakeClickable(errorLogLabel_.Handle(), [this] { OpenErrorLog(); });
}

void GatewayWindow::OpenErrorLog() {
    const std::string path = errorLogPath_ ? errorLogPath_() : std::string();
    if (!path.empty() && openLog_) {
        openLog_(path);
    }
}

MrpUiControls GatewayWindow::Controls() {
    return MrpUiControls{form_,          mrpStatusLabel_,   palavanStatusLabel_,
                         errorLogLabel_, mrpConnectTimer_,  palavanConnectTimer_,
                         mrpDde_,        palavanDdeCommand_};
}

}  // namespace quillon::app
