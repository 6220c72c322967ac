#pragma once
// Owns an open registry key and closes it once.

#include <windows.h>

namespace quillon::win32 {

class ScopedRegKey {
  public:
    ScopedRegKey() = default;
    ~ScopedRegKey() {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
        }
    }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;

    HKEY Get() const { return key_; }
    // For the Reg*KeyEx functions to fill in; only on an empty holder.
    HKEY* Receive() { return &key_; }

  private:
    HKEY key_ = nullptr;
};

}  // namespace quillon::win32
