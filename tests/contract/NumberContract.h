#pragma once
// What every number conversion does, as one table run against the portable
// stand-in (host tests) and the platform's locale-aware conversion (under
// Wine, in an English locale).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/ErrorTrap.h"
#include "base/RuntimeError.h"
#include "ports/NumberConversionPort.h"

namespace quillon::contract {

inline void RunNumberContract(NumberConversionPort& numbers) {
    using namespace std::string_literals;
    enum Target { kInteger, kLong, kBoolean };
    struct Case {
        Target target;
        std::string text;
        int32_t value;  // a boolean as 0 or 1
        int32_t error;
    };
    const std::string huge(400, '1');
    const std::string tiny = "0." + std::string(400, '0') + "1";
    const Case cases[] = {
        // Halves round to the even neighbour; blanks and a sign are allowed.
        {kInteger, "2.5", 2, 0},
        {kInteger, "3.5", 4, 0},
        {kInteger, "-2.5", -2, 0},
        {kInteger, " 12 ", 12, 0},
        {kInteger, "+7", 7, 0},
        {kInteger, "1,234", 1234, 0},
        {kInteger, "-32768", -32768, 0},
        {kInteger, "32767", 32767, 0},
        {kInteger, "32768", 0, kErrOverflow},
        {kInteger, "40000", 0, kErrOverflow},
        {kInteger, "-" + huge, 0, kErrOverflow},
        {kInteger, "abc", 0, kErrTypeMismatch},
        {kInteger, "", 0, kErrTypeMismatch},
        {kInteger, " ", 0, kErrTypeMismatch},
        {kLong, "40000", 40000, 0},
        {kLong, "19045", 19045, 0},
        {kLong, "-2147483648", INT32_MIN, 0},
        {kLong, "2147483647", INT32_MAX, 0},
        {kLong, "2147483648", 0, kErrOverflow},
        {kLong, huge, 0, kErrOverflow},
        {kLong, tiny, 0, 0},
        {kLong,
         "12\0"
         "34"s,
         0, kErrTypeMismatch},
        {kLong, "12abc", 0, kErrTypeMismatch},
        {kBoolean, "true", 1, 0},
        {kBoolean, "True", 1, 0},
        {kBoolean, "FALSE", 0, 0},
        {kBoolean, " True ", 0, kErrTypeMismatch},  // the words take no blanks
        {kBoolean, "1", 1, 0},
        {kBoolean, "-1", 1, 0},
        {kBoolean, "0", 0, 0},
        {kBoolean, "0.4", 1, 0},
        {kBoolean, "yes", 0, kErrTypeMismatch},
        {kBoolean, "Tr ue", 0, kErrTypeMismatch},
        {kBoolean, "", 0, kErrTypeMismatch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.text.substr(0, 20) + "\" as " +
                     (c.target == kInteger ? "Integer"
                      : c.target == kLong  ? "Long"
                                           : "Boolean"));
        int32_t value = 0;
        const int32_t error = CollectError([&] {
            switch (c.target) {
                case kInteger:
                    value = numbers.ToInteger(c.text);
                    break;
                case kLong:
                    value = numbers.ToLong(c.text);
                    break;
                case kBoolean:
                    value = numbers.ToBoolean(c.text) ? 1 : 0;
                    break;
            }
        });
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(value, c.value);
    }
}

}  // namespace quillon::contract
