#pragma once
// Finding another process's windows and reading its controls, with
// polling helpers: tests wait for a condition with a generous deadline and
// never assert on how long it took.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quillon::testing {

// A top-level window of process `processId` whose class is `className`
// (and, when given, whose caption is `caption`); null when there is none.
HWND FindTopWindow(DWORD processId, const std::string& className,
                   const std::string& caption = std::string());
// The first top-level window of any process with exactly this caption.
HWND FindTopWindowByCaption(const std::string& caption);

std::string WindowText(HWND window);
// The window's own WS_VISIBLE flag (a hidden parent does not matter).
bool HasVisibleStyle(HWND window);

struct ChildInfo {
    HWND window;
    std::string className;
    std::string text;
    bool visible;
};
// All child windows of `parent`, in the platform's order.
std::vector<ChildInfo> ReadChildren(HWND parent);
// The top-level windows of process `processId` (described as children of
// the desktop), for failure messages.
std::vector<ChildInfo> ListTopWindows(DWORD processId);
// The text of every visible STATIC child, in the platform's order.
std::vector<std::string> ReadLabels(HWND parent);
// The child with this exact text, or null.
HWND FindChildByText(HWND parent, const std::string& text);

// Polls `condition` every few milliseconds until it holds or `timeoutMs`
// pass; returns its last result.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

}  // namespace quillon::testing
