#pragma once
#include "ports/ProgramInfoPort.h"

namespace quillon::fakes {

class FakeProgramInfo : public ProgramInfoPort {
  public:
    std::string productName = "MRP_Quillon";
    int16_t major = 1, minor = 0, revision = 2;
    std::string path = "C:\\Radio\\MRP_Quillon";
    std::string exeName = "MRP_Quillon";

    std::string ProductName() override { return productName; }
    int16_t Major() override { return major; }
    int16_t Minor() override { return minor; }
    int16_t Revision() override { return revision; }
    std::string Path() override { return path; }
    std::string PathText() override { return path; }
    std::string ExeName() override { return exeName; }
};

}  // namespace quillon::fakes
