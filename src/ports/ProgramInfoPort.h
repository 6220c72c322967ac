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
    // The executable's folder, without a trailing separator, as a pathname
    // that FilePort opens (on Windows UTF-8, so that any folder name works).
    virtual std::string Path() = 0;
    // The same folder as text for a reader: in the ANSI code page, with "?"
    // for a letter it lacks.
    virtual std::string PathText() = 0;
    // The executable's file name without its extension, as text.
    virtual std::string ExeName() = 0;
};

}  // namespace quillon
