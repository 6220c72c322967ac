#pragma once
// FilePort on the Win32 file API: pathnames are UTF-8 and opened by their
// wide names, so any folder name works.

#include "ports/FilePort.h"

namespace quillon::win32 {

class Win32Files : public FilePort {
  public:
    int64_t FileLength(const std::string& path) override;
    std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) override;
};

}  // namespace quillon::win32
