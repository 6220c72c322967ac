#pragma once
// An open file that text lines are appended to; closed on destruction.

#include <windows.h>

#include "ports/FilePort.h"
#include "win32/ScopedHandle.h"

namespace quillon::win32 {

class Win32AppendFile : public AppendFile {
  public:
    // Takes ownership of `file`, opened with FILE_APPEND_DATA.
    explicit Win32AppendFile(HANDLE file) : file_(file) {}
    void WriteLine(const std::string& text) override;

  private:
    ScopedHandle file_;
};

}  // namespace quillon::win32
