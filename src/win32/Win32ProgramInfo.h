#pragma once
// ProgramInfoPort from the running executable: its file name and its
// version resource. A program without a version resource (a test program)
// reports the product name and version compiled in from the project.

#include <string>

#include "ports/ProgramInfoPort.h"

namespace quillon::win32 {

class Win32ProgramInfo : public ProgramInfoPort {
  public:
    Win32ProgramInfo();

    std::string ProductName() override { return productName_; }
    int16_t Major() override { return major_; }
    int16_t Minor() override { return minor_; }
    int16_t Revision() override { return revision_; }
    std::string Path() override { return path_; }
    std::string PathText() override { return pathText_; }
    std::string ExeName() override { return exeName_; }

  private:
    void ReadVersionResource(const std::wstring& modulePath);

    std::string productName_;
    int16_t major_;
    int16_t minor_;
    int16_t revision_;
    std::string path_;  // UTF-8
    std::string pathText_;
    std::string exeName_;
};

}  // namespace quillon::win32
