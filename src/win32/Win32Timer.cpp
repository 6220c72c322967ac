#include "win32/Win32Timer.h"

#include "base/RuntimeError.h"
#include "win32/Win32MainWindow.h"

namespace quillon::win32 {

Win32Timer::Win32Timer(Win32MainWindow& window) : window_(window), id_(window.AddTimer(this)) {}

Win32Timer::~Win32Timer() {
    Stop();
    window_.RemoveTimer(id_);
}

void Win32Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_) {
        return;
    }
    enabled_ = enabled;
    if (enabled_) {
        Start();
    } else {
        Stop();
    }
}

void Win32Timer::SetInterval(uint32_t milliseconds) {
    interval_ = milliseconds;
    if (enabled_) {
        Start();
    }
}

// SetTimer with an id already running replaces it and restarts its
// countdown. An interval of 0 leaves an enabled timer silent.
void Win32Timer::Start() {
    if (interval_ == 0) {
        Stop();
        return;
    }
    if (window_.Handle() == nullptr ||
        ::SetTimer(window_.Handle(), id_, static_cast<UINT>(interval_), nullptr) == 0) {
        Raise(kErrInternal);
    }
}

void Win32Timer::Stop() {
    if (window_.Handle() != nullptr) {
        ::KillTimer(window_.Handle(), id_);  // also drops a WM_TIMER already queued
    }
}

void Win32Timer::Tick() {
    // A handler that pumps messages (a connection attempt does) would
    // otherwise receive its own next tick inside itself and recurse; such a
    // tick is dropped, the next one comes an interval later.
    if (!enabled_ || ticking_ || !handler_) {
        return;
    }
    ticking_ = true;
    const std::function<void()> handler = handler_;  // the handler may replace itself
    try {
        handler();
    } catch (...) {
        ticking_ = false;
        throw;
    }
    ticking_ = false;
}

}  // namespace quillon::win32
