// The "see ErrorLog" label as the user meets it: a hand over it, and a
// click opens the error log. The viewer is replaced by a recorder, so the
// test sees the path it would have been given without starting one.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/GatewayWindow.h"

namespace quillon {
namespace {

constexpr const char* kLogPath = "C:\\Ham Radio\\MRP_Quillon\\ErrorLog.txt";

class ErrorLogLabelClickTest : public ::testing::Test {
  protected:
    ErrorLogLabelClickTest()
        : window_([this](const std::string& path) {
              opened_.push_back(path);
              return true;
          }) {
        // Shown as after the first logged line; the window itself stays
        // hidden (the messages below go straight to the controls).
        window_.ErrorLogLabel().SetVisible(true);
    }

    // A click as the mouse delivers it to the control under it.
    static void Click(HWND control) {
        ::SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        ::SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }

    // The cursor the window chooses with the pointer over `control`.
    static HCURSOR CursorOver(HWND control) {
        ::SetCursor(nullptr);
        ::SendMessageA(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return ::GetCursor();
    }

    std::vector<std::string> opened_;
    app::GatewayWindow window_;
};

TEST_F(ErrorLogLabelClickTest, ClickOpensTheLogOnceWithItsPath) {
    window_.SetErrorLogPath([] { return std::string(kLogPath); });
    const HWND label = window_.ErrorLogLabel().Handle();
    // Without SS_NOTIFY a static control neither reports clicks nor is hit
    // by the pointer (it lets both through to the window).
    EXPECT_NE(::GetWindowLongPtrA(label, GWL_STYLE) & SS_NOTIFY, 0);

    Click(label);
    EXPECT_EQ(opened_, std::vector<std::string>{kLogPath});
}

TEST_F(ErrorLogLabelClickTest, StatusLinesAreNotClickable) {
    window_.SetErrorLogPath([] { return std::string(kLogPath); });
    const MrpUiControls controls = window_.Controls();
    for (LabelPort* status : {&controls.mrpStatusLabel, &controls.palavanStatusLabel}) {
        const HWND label = static_cast<win32::Win32Label*>(status)->Handle();
        Click(label);
        EXPECT_EQ(::GetWindowLongPtrA(label, GWL_STYLE) & SS_NOTIFY, 0);
    }
    EXPECT_TRUE(opened_.empty());
}

TEST_F(ErrorLogLabelClickTest, NoPathYetOpensNothing) {
    Click(window_.ErrorLogLabel().Handle());  // before the load has set a path
    window_.SetErrorLogPath([] { return std::string(); });
    Click(window_.ErrorLogLabel().Handle());
    EXPECT_TRUE(opened_.empty());
}

TEST_F(ErrorLogLabelClickTest, HandOverTheLabelArrowElsewhere) {
    const HCURSOR hand = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
    const HCURSOR arrow = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    ASSERT_NE(hand, nullptr);
    ASSERT_NE(hand, arrow);
    EXPECT_EQ(CursorOver(window_.ErrorLogLabel().Handle()), hand);

    const auto* status = static_cast<win32::Win32Label*>(&window_.Controls().mrpStatusLabel);
    EXPECT_EQ(CursorOver(status->Handle()), arrow);
    EXPECT_EQ(CursorOver(window_.Form().Handle()), arrow);
}

}  // namespace
}  // namespace quillon
