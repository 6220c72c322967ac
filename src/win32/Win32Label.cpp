#include "win32/Win32Label.h"

#include <vector>

#include "base/RuntimeError.h"
#include "win32/Win32MainWindow.h"

namespace quillon::win32 {

Win32Label::Win32Label(Win32MainWindow& window, const LabelDesign& design) {
    ChildDesign child;
    child.className = "STATIC";
    // SS_NOPREFIX: an "&" in a status text is shown, not taken as a mnemonic.
    child.style =
        SS_LEFT | SS_NOPREFIX | (design.notify ? SS_NOTIFY : 0) | (design.visible ? WS_VISIBLE : 0);
    child.id = design.id;
    child.rect = design.rect;
    child.text = design.caption;
    label_ = window.CreateChild(child);
    if (design.font != nullptr) {
        ::SendMessageA(label_, WM_SETFONT, reinterpret_cast<WPARAM>(design.font), FALSE);
    }
    if (design.colored) {
        window.SetTextColor(label_, design.color);
    }
}

void Win32Label::SetCaption(const std::string& text) {
    // The status labels are set again after every connection attempt, twice
    // a second while a peer is away; the same text is not redrawn.
    if (Caption() == text) {
        return;
    }
    if (!::SetWindowTextA(label_, text.c_str())) {
        Raise(kErrInternal);
    }
}

std::string Win32Label::Caption() const {
    const int length = ::GetWindowTextLengthA(label_);
    if (length <= 0) {
        return std::string();
    }
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    const int copied = ::GetWindowTextA(label_, text.data(), length + 1);
    return std::string(text.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void Win32Label::SetVisible(bool visible) {
    ::ShowWindow(label_, visible ? SW_SHOWNA : SW_HIDE);
}

// The label's own flag: IsWindowVisible would also say false for a visible
// label on a window that is not shown yet.
bool Win32Label::Visible() const {
    return (::GetWindowLongPtrA(label_, GWL_STYLE) & WS_VISIBLE) != 0;
}

}  // namespace quillon::win32
