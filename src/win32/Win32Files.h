#pragma once
// FilePort on the Win32 file API.

#include "ports/FilePort.h"

namespace quillon::win32 {

class Win32Files : public FilePort {
  public:
    int64_t FileLength(const std::string& path) override;
    std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) override;
};

}  // namespace quillon::win32
