#include <gtest/gtest.h>

#include "gateway/DisplayCwCommand.h"

namespace quillon {
namespace {

TEST(DisplayCwCommand, PlainTextIsPrefixedOnly) {
    EXPECT_EQ(BuildDisplayCwCommand("CQ"), "006displaycwCQ");
    EXPECT_EQ(BuildDisplayCwCommand("R 5NN\xD8"), "006displaycwR 5NN0");
}

TEST(DisplayCwCommand, OnlyTheThreeDecoderCharactersAreReplacedOneForOne) {
    EXPECT_EQ(BuildDisplayCwCommand("\xAD\xB7\xD8\xD8\xB7\xAD"), "006displaycw-.00.-");
    std::string every;
    for (int code = 1; code <= 255; ++code) {
        every += static_cast<char>(code);
    }
    const std::string command = BuildDisplayCwCommand(every);
    ASSERT_EQ(command.size(), 12 + every.size());
    for (int code = 1; code <= 255; ++code) {
        const char expected = code == 173   ? '-'
                              : code == 183 ? '.'
                              : code == 216 ? '0'
                                            : static_cast<char>(code);
        EXPECT_EQ(command[11 + code], expected) << "code " << code;
    }
}

}  // namespace
}  // namespace quillon
