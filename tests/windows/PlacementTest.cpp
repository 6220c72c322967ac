// The gateway window's placement, end to end: MRP_Quillon.exe is started with
// a stored record in the settings store, its window is measured, closed with
// WM_CLOSE, and the record it saved is read back. At 96 dpi a pixel is 15
// twips.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/ChildProcess.h"
#include "support/WindowSearch.h"
#include "windows/support/FaultGateway.h"

namespace {

const char kSectionKey[] = "Software\\VB and VBA Program Settings\\MRP_Quillon\\Windows";
const char kWindowClass[] = "MRP_Quillon.MainWindow";
constexpr DWORD kTimeoutMs = 20000;

void PutSetting(const std::string& name, const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kSectionKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(key);
}

std::string GetSetting(const std::string& name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSectionKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "<no section>";
    }
    char data[256] = {};
    DWORD size = sizeof data - 1;
    const LONG status = ::RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(data) : "<absent>";
}

void StoreRecord(const std::string& left, const std::string& top, const std::string& state,
                 const std::string& dualMonitor) {
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kSectionKey);
    PutSetting("MRP_UILeft", left);
    PutSetting("MRP_UITop", top);
    PutSetting("MRP_UIWindowState", state);
    PutSetting("DualMonitor", dualMonitor);
}

// One run of the gateway: started, its window found once shown, closed on
// request.
class Gateway {
  public:
    Gateway() : process_(quillon::testing::GatewayExePath()) {
        if (!process_.Started()) {
            return;
        }
        quillon::testing::WaitUntil(
            [&] {
                window_ = quillon::testing::FindTopWindow(process_.Id(), kWindowClass);
                return window_ != nullptr && quillon::testing::HasVisibleStyle(window_);
            },
            kTimeoutMs);
    }

    HWND Window() const { return window_; }
    RECT Rect() const {
        RECT rect{};
        ::GetWindowRect(window_, &rect);
        return rect;
    }
    // True when the process ended after WM_CLOSE.
    bool Close() {
        ::PostMessageA(window_, WM_CLOSE, 0, 0);
        return process_.WaitForExit(kTimeoutMs);
    }

  private:
    quillon::testing::ChildProcess process_;
    HWND window_ = nullptr;
};

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

class PlacementTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(ScreenDpi(), 96) << "the expected pixels assume 15 twips per pixel";
    }
    void TearDown() override { ::RegDeleteKeyA(HKEY_CURRENT_USER, kSectionKey); }
};

TEST_F(PlacementTest, StoredTwipsBecomePixelsAndTheCloseSavesThemBack) {
    StoreRecord("1500", "3000", "0", "False");
    Gateway gateway;
    ASSERT_NE(gateway.Window(), nullptr);
    const RECT rect = gateway.Rect();
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 200);
    EXPECT_FALSE(::IsZoomed(gateway.Window()));
    EXPECT_FALSE(::IsIconic(gateway.Window()));
    ASSERT_TRUE(gateway.Close());
    EXPECT_EQ(GetSetting("MRP_UILeft"), "1500");
    EXPECT_EQ(GetSetting("MRP_UITop"), "3000");
    EXPECT_EQ(GetSetting("MRP_UIWidth"), std::to_string((rect.right - rect.left) * 15));
    EXPECT_EQ(GetSetting("MRP_UIHeight"), std::to_string((rect.bottom - rect.top) * 15));
    EXPECT_EQ(GetSetting("MRP_UIWindowState"), "0");
}

TEST_F(PlacementTest, MaximisedWindowReopensMaximisedAndSavesItsNormalRectangle) {
    StoreRecord("1500", "3000", "2", "False");
    Gateway gateway;
    ASSERT_NE(gateway.Window(), nullptr);
    EXPECT_TRUE(::IsZoomed(gateway.Window()));
    ASSERT_TRUE(gateway.Close());
    EXPECT_EQ(GetSetting("MRP_UIWindowState"), "2");
    EXPECT_EQ(GetSetting("MRP_UILeft"), "1500");
    EXPECT_EQ(GetSetting("MRP_UITop"), "3000");
}

TEST_F(PlacementTest, MinimisedWindowReopensMinimisedAndSavesItsNormalRectangle) {
    StoreRecord("3000", "1500", "1", "False");
    Gateway gateway;
    ASSERT_NE(gateway.Window(), nullptr);
    EXPECT_TRUE(::IsIconic(gateway.Window()));
    ASSERT_TRUE(gateway.Close());
    EXPECT_EQ(GetSetting("MRP_UIWindowState"), "1");
    EXPECT_EQ(GetSetting("MRP_UILeft"), "3000");
    EXPECT_EQ(GetSetting("MRP_UITop"), "1500");
}

TEST_F(PlacementTest, SingleMonitorBringsAnOffScreenWindowBackToTheEdge) {
    StoreRecord("-15000", "600", "0", "False");
    Gateway gateway;
    ASSERT_NE(gateway.Window(), nullptr);
    EXPECT_EQ(gateway.Rect().left, 0);
    EXPECT_EQ(gateway.Rect().top, 40);
    ASSERT_TRUE(gateway.Close());
    EXPECT_EQ(GetSetting("MRP_UILeft"), "0");
}

TEST_F(PlacementTest, DualMonitorPutsAWindowOfAMissingMonitorOnTheCascade) {
    StoreRecord("-60000", "600", "0", "True");
    Gateway gateway;
    ASSERT_NE(gateway.Window(), nullptr);
    EXPECT_EQ(gateway.Rect().left, 24);  // 360 twips
    EXPECT_EQ(gateway.Rect().top, 24);
    ASSERT_TRUE(gateway.Close());
    EXPECT_EQ(GetSetting("MRP_UILeft"), "360");
    EXPECT_EQ(GetSetting("MRP_UITop"), "360");
}

TEST_F(PlacementTest, DualMonitorKeepsAWindowThatTouchesAPresentMonitor) {
    StoreRecord("-1500", "-300", "0", "True");
    Gateway gateway;
    ASSERT_NE(gateway.Window(), nullptr);
    EXPECT_EQ(gateway.Rect().left, -100);
    EXPECT_EQ(gateway.Rect().top, -20);
    ASSERT_TRUE(gateway.Close());
    EXPECT_EQ(GetSetting("MRP_UILeft"), "-1500");
}

// Moved as a drag moves it (SetWindowPos), the window is where the next
// start puts it.
TEST_F(PlacementTest, AWindowMovedDuringARunReopensWhereItWasLeft) {
    StoreRecord("1500", "3000", "0", "False");
    quillon::testing::FaultGateway gateway;
    ASSERT_TRUE(gateway.Start());
    auto corner = [&] {
        RECT rect{};
        ::GetWindowRect(gateway.Window(), &rect);
        return std::to_string(rect.left) + "," + std::to_string(rect.top);
    };
    ASSERT_EQ(corner(), "100,200");
    ::SetWindowPos(gateway.Window(), nullptr, 300, 150, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(quillon::testing::WaitUntil([&] { return corner() == "300,150"; }, kTimeoutMs))
        << corner();
    ASSERT_TRUE(gateway.Close());

    ASSERT_TRUE(gateway.Start());
    EXPECT_EQ(corner(), "300,150");
    EXPECT_TRUE(gateway.Close());
    EXPECT_EQ(GetSetting("MRP_UILeft"), "4500");
    EXPECT_EQ(GetSetting("MRP_UITop"), "2250");
}

}  // namespace
