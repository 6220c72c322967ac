#pragma once
// A portable stand-in for the platform's locale-aware number conversion,
// in an English locale: blanks, an optional sign, digits with optional ","
// grouping, an optional "." fraction; halves round to even.

#include <string>

#include "ports/NumberConversionPort.h"

namespace quillon::fakes {

class FakeNumbers : public NumberConversionPort {
  public:
    int16_t ToInteger(const std::string& text) override;
    int32_t ToLong(const std::string& text) override;
    bool ToBoolean(const std::string& text) override;
};

}  // namespace quillon::fakes
