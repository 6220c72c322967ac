#pragma once
// OsVersionPort on GetVersionExA and GetNativeSystemInfo.

#include "ports/OsVersionPort.h"

namespace quillon::win32 {

class Win32OsVersion : public OsVersionPort {
  public:
    bool GetVersionExA(OsVersionInfoA& info) override;
    uint16_t NativeProcessorArchitecture() override;
};

}  // namespace quillon::win32
