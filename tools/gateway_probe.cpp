// gateway_probe: finds the gateway's main window and prints its visible
// labels, top to bottom, one per line.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "GatewayWindowFinder.h"
#include "ports/ProgramIdentity.h"

namespace {

// printf format: %s is the window class.
const char kHelp[] =
    "usage: gateway_probe [--wait MS] [--rect] [--all] [--close]\n"
    "Prints the visible labels of the gateway window (class \"%s\"),\n"
    "top to bottom, one per line.\n"
    "  --wait MS   wait up to MS for the window to appear (default 0)\n"
    "  --rect      print the window's screen rectangle first: \"left top width height\"\n"
    "  --all       include hidden child controls, with their class names\n"
    "  --close     close the window (as the user would) and wait up to 10 s for\n"
    "              its process to end\n"
    "Exit status 1 when no such window exists.\n";

struct Child {
    int top;
    int left;
    std::string text;
};

struct Collect {
    bool all;
    std::vector<Child> children;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
    auto* collect = reinterpret_cast<Collect*>(context);
    char className[64] = {};
    GetClassNameA(child, className, sizeof(className));
    const bool visible = IsWindowVisible(child) != FALSE;
    if (!collect->all && (!visible || _stricmp(className, "Static") != 0)) {
        return TRUE;
    }
    const int length = GetWindowTextLengthA(child);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(child, text.data(), length + 1);
    text.resize(std::strlen(text.c_str()));
    if (collect->all) {
        text = std::string(className) + (visible ? " " : " (hidden) ") + text;
    }
    RECT rect{};
    GetWindowRect(child, &rect);
    collect->children.push_back({rect.top, rect.left, text});
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long waitMs = 0;
    bool printRect = false;
    bool close = false;
    Collect collect{false, {}};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--wait" && i + 1 < argc) {
            waitMs = std::strtoul(argv[++i], nullptr, 10);
        } else if (option == "--rect") {
            printRect = true;
        } else if (option == "--close") {
            close = true;
        } else if (option == "--all") {
            collect.all = true;
        } else {
            std::fprintf(option == "--help" ? stdout : stderr, kHelp,
                         quillon::identity::kWindowClass);
            return option == "--help" ? 0 : 2;
        }
    }
    HWND gateway = nullptr;
    const DWORD start = GetTickCount();
    for (;;) {
        gateway = quillon::tools::FindGatewayWindow();
        if (gateway != nullptr || GetTickCount() - start >= waitMs) {
            break;
        }
        Sleep(100);
    }
    if (gateway == nullptr) {
        std::fprintf(stderr, "gateway_probe: no gateway window\n");
        return 1;
    }
    if (close) {
        DWORD processId = 0;
        GetWindowThreadProcessId(gateway, &processId);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
        PostMessageA(gateway, WM_CLOSE, 0, 0);
        const bool ended =
            process != nullptr && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
        if (process != nullptr) {
            CloseHandle(process);
        }
        return ended ? 0 : 1;
    }
    if (printRect) {
        RECT rect{};
        GetWindowRect(gateway, &rect);
        std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top);
    }
    EnumChildWindows(gateway, &CollectChild, reinterpret_cast<LPARAM>(&collect));
    std::stable_sort(collect.children.begin(), collect.children.end(),
                     [](const Child& a, const Child& b) {
                         return a.top != b.top ? a.top < b.top : a.left < b.left;
                     });
    for (const Child& child : collect.children) {
        std::printf("%s\n", child.text.c_str());
    }
    return 0;
}
