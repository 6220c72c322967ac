// The locale-aware conversions through VarI2FromStr, VarI4FromStr and
// VarBoolFromStr, with their failures as run-time error numbers, against the
// table every number conversion keeps.

#include <gtest/gtest.h>

#include "contract/NumberContract.h"
#include "win32/Win32NumberConversion.h"

namespace quillon {
namespace {

TEST(NumberConversionTest, KeepsTheNumberContract) {
    win32::Win32NumberConversion numbers;
    contract::RunNumberContract(numbers);
}

}  // namespace
}  // namespace quillon
