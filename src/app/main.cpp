// The program's one composition root: builds the Win32 adapters, hands them
// to the core, creates the gateway window hidden, loads it, shows it and
// runs the message loop.

#include <windows.h>

#include "app/GatewayWindow.h"
#include "common/Common.h"
#include "gateway/MrpUi.h"
#include "ports/Ports.h"
#include "ports/ProgramIdentity.h"
#include "win32/SafeDllSearch.h"
#include "win32/Win32Clock.h"
#include "win32/Win32Files.h"
#include "win32/Win32Monitors.h"
#include "win32/Win32NumberConversion.h"
#include "win32/Win32OsVersion.h"
#include "win32/Win32Process.h"
#include "win32/Win32ProgramInfo.h"
#include "win32/Win32Registry.h"
#include "win32/Win32Settings.h"

namespace {

int RunMessageLoop() {
    MSG message{};
    for (;;) {
        const BOOL result = ::GetMessageA(&message, nullptr, 0, 0);
        if (result == 0) {
            return static_cast<int>(message.wParam);
        }
        if (result == -1) {
            return 1;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

int Run() {
    using namespace quillon;
    win32::Win32Clock clock;
    win32::Win32Files files;
    win32::Win32Settings settings;
    win32::Win32NumberConversion numbers;
    win32::Win32ProgramInfo program;
    win32::Win32Process process(identity::kInstanceMutex);
    win32::Win32Monitors monitors;
    win32::Win32Registry registry;
    win32::Win32OsVersion osVersion;
    const Ports ports{clock,   files,    settings, numbers,  program,
                      process, monitors, registry, osVersion};
    Common common(ports);

    app::GatewayWindow window;
    window.SetErrorLogPath([&common] { return common.log.ErrorLogPathname(); });
    process.SetOwner(window.Form().Handle());
    common.mrpModule.AttachMainWindow(&window.Form(), &window.ErrorLogLabel());
    MrpUi ui(common, window.Controls(), process);
    // Form_Unload ends the process; should it return early after an error,
    // the window still closes by leaving the loop.
    window.Form().SetCloseHandler([&ui] {
        ui.Form_Unload();
        ::PostQuitMessage(0);
    });

    ui.Form_Load();
    window.Form().Show();
    return RunMessageLoop();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // First of all: no DLL from the program's own (user-writable) folder.
    quillon::win32::RestrictDllSearch();
    try {
        return Run();
    } catch (...) {
        // Only the adapters' construction can throw here (no window class,
        // no window): there is nothing to show and no log path yet.
        return 1;
    }
}
