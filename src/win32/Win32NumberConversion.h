#pragma once
// NumberConversionPort on the OLE Automation conversions (VarI2FromStr,
// VarI4FromStr, VarBoolFromStr) in the user's default locale.

#include "ports/NumberConversionPort.h"

namespace quillon::win32 {

class Win32NumberConversion : public NumberConversionPort {
  public:
    int16_t ToInteger(const std::string& text) override;
    int32_t ToLong(const std::string& text) override;
    bool ToBoolean(const std::string& text) override;
};

}  // namespace quillon::win32
