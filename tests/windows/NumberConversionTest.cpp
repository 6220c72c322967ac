// The locale-aware conversions through VarI2FromStr, VarI4FromStr and
// VarBoolFromStr, with their failures as run-time error numbers.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "win32/Win32NumberConversion.h"

namespace quillon {
namespace {

using namespace std::string_literals;

TEST(NumberConversionTest, IntegersRoundHalvesToEvenAndOverflow) {
    win32::Win32NumberConversion numbers;
    EXPECT_EQ(numbers.ToInteger("2.5"), 2);
    EXPECT_EQ(numbers.ToInteger("3.5"), 4);
    EXPECT_EQ(numbers.ToInteger(" 12 "), 12);
    EXPECT_EQ(numbers.ToInteger("-32768"), -32768);
    EXPECT_EQ(CollectError([&] { numbers.ToInteger("40000"); }), kErrOverflow);
    EXPECT_EQ(CollectError([&] { numbers.ToInteger("abc"); }), kErrTypeMismatch);
    EXPECT_EQ(CollectError([&] { numbers.ToInteger(""); }), kErrTypeMismatch);

    EXPECT_EQ(numbers.ToLong("40000"), 40000);
    EXPECT_EQ(numbers.ToLong("19045"), 19045);
    EXPECT_EQ(numbers.ToLong("-2147483648"), INT32_MIN);
    EXPECT_EQ(CollectError([&] { numbers.ToLong("2147483648"); }), kErrOverflow);
    EXPECT_EQ(CollectError([&] {
                  numbers.ToLong(
                      "12\0"
                      "34"s);
              }),
              kErrTypeMismatch);
}

TEST(NumberConversionTest, BooleansTakeWordsAndNumbers) {
    win32::Win32NumberConversion numbers;
    EXPECT_TRUE(numbers.ToBoolean("true"));
    EXPECT_TRUE(numbers.ToBoolean("True"));
    EXPECT_FALSE(numbers.ToBoolean("FALSE"));
    EXPECT_TRUE(numbers.ToBoolean("1"));
    EXPECT_FALSE(numbers.ToBoolean("0"));
    EXPECT_EQ(CollectError([&] { numbers.ToBoolean("yes"); }), kErrTypeMismatch);
}

}  // namespace
}  // namespace quillon
