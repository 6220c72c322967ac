#pragma once
// Finds the running gateway's main window, for the tools that look at it
// (the window itself is src/app/GatewayWindow).

#include <windows.h>

namespace quillon::tools {

// The gateway's main window, found by its class (ports/ProgramIdentity.h)
// as the installer finds it; null when no gateway runs.
HWND FindGatewayWindow();

}  // namespace quillon::tools
