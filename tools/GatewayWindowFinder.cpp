#include "GatewayWindowFinder.h"

#include "ports/ProgramIdentity.h"

namespace quillon::tools {

HWND FindGatewayWindow() {
    return FindWindowA(identity::kWindowClass, nullptr);
}

}  // namespace quillon::tools
