#pragma once
// Port: the platform's locale-aware conversion of text to numbers and
// booleans. A number is read in the user's locale (its decimal and thousands
// separators), blanks around it and a sign allowed; a fraction is rounded to
// the nearest integer, an exact half to the even neighbour.
// Text that is no number raises 13 (Type mismatch); a number outside the
// target's range raises 6 (Overflow).

#include <cstdint>
#include <string>

namespace quillon {

class NumberConversionPort {
  public:
    virtual ~NumberConversionPort() = default;
    virtual int16_t ToInteger(const std::string& text) = 0;
    virtual int32_t ToLong(const std::string& text) = 0;
    // "True"/"False" in any letter case, or a number (0 is false).
    virtual bool ToBoolean(const std::string& text) = 0;
};

}  // namespace quillon
