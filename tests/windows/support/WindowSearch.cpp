#include "windows/support/WindowSearch.h"

#include <vector>

namespace quillon::testing {

namespace {

std::string ClassName(HWND window) {
    char name[256] = {};
    const int length = ::GetClassNameA(window, name, sizeof(name));
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

struct TopSearch {
    DWORD processId;
    const std::string* className;
    const std::string* caption;
    HWND found;
};

BOOL CALLBACK OnTopWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<TopSearch*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (search->processId != 0 && owner != search->processId) {
        return TRUE;
    }
    if (!search->className->empty() && ClassName(window) != *search->className) {
        return TRUE;
    }
    if (!search->caption->empty() && WindowText(window) != *search->caption) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

BOOL CALLBACK OnChild(HWND window, LPARAM data) {
    auto* children = reinterpret_cast<std::vector<ChildInfo>*>(data);
    children->push_back(
        ChildInfo{window, ClassName(window), WindowText(window), HasVisibleStyle(window)});
    return TRUE;
}

struct TopListing {
    DWORD processId;
    std::vector<ChildInfo>* windows;
};

BOOL CALLBACK OnListedTopWindow(HWND window, LPARAM data) {
    auto* listing = reinterpret_cast<TopListing*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == listing->processId) {
        OnChild(window, reinterpret_cast<LPARAM>(listing->windows));
    }
    return TRUE;
}

}  // namespace

HWND FindTopWindow(DWORD processId, const std::string& className, const std::string& caption) {
    TopSearch search{processId, &className, &caption, nullptr};
    ::EnumWindows(&OnTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindTopWindowByCaption(const std::string& caption) {
    return FindTopWindow(0, std::string(), caption);
}

std::string WindowText(HWND window) {
    // WM_GETTEXT with a time-out: a window of a hung process must not hang
    // the test.
    std::vector<char> text(4096, '\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutA(window, WM_GETTEXT, text.size(),
                               reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000,
                               &copied)) {
        return std::string();
    }
    return std::string(text.data(), copied < text.size() ? copied : 0);
}

bool HasVisibleStyle(HWND window) {
    return (::GetWindowLongPtrA(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

std::vector<ChildInfo> ReadChildren(HWND parent) {
    std::vector<ChildInfo> children;
    ::EnumChildWindows(parent, &OnChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::vector<ChildInfo> ListTopWindows(DWORD processId) {
    std::vector<ChildInfo> windows;
    TopListing listing{processId, &windows};
    ::EnumWindows(&OnListedTopWindow, reinterpret_cast<LPARAM>(&listing));
    return windows;
}

std::vector<std::string> ReadLabels(HWND parent) {
    std::vector<std::string> labels;
    for (const ChildInfo& child : ReadChildren(parent)) {
        if (child.visible && _stricmp(child.className.c_str(), "Static") == 0) {
            labels.push_back(child.text);
        }
    }
    return labels;
}

HWND FindChildByText(HWND parent, const std::string& text) {
    for (const ChildInfo& child : ReadChildren(parent)) {
        if (child.text == text) {
            return child.window;
        }
    }
    return nullptr;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (::GetTickCount64() >= deadline) {
            return condition();
        }
        ::Sleep(5);
    }
}

}  // namespace quillon::testing
