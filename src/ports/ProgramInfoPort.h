#pragma once
// Port: facts about the running program (its version resource and file).

#include <cstdint>
#include <string>

namespace quillon {

class ProgramInfoPort {
  public:
    virtual ~ProgramInfoPort() = default;
    virtual std::string ProductName() = 0;  // "MRP_Quillon"
    virtual int16_t Major() = 0;
    virtual int16_t Minor() = 0;
    virtual int16_t Revision() = 0;
    // The executable's folder, without a trailing separator.
    virtual std::string Path() = 0;
    // The executable's file name without its extension.
    virtual std::string ExeName() = 0;
};

}  // namespace quillon
