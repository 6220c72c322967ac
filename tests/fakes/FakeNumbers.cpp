#include "fakes/FakeNumbers.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "base/RuntimeError.h"

namespace quillon::fakes {

namespace {

double ParseNumber(const std::string& text) {
    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos) {
        Raise(kErrTypeMismatch);
    }
    std::string body = text.substr(begin, end - begin + 1);
    bool negative = false;
    size_t i = 0;
    if (body[i] == '+' || body[i] == '-') {
        negative = body[i] == '-';
        ++i;
    }
    std::string digits;
    bool seenDigit = false;
    bool seenPoint = false;
    for (; i < body.size(); ++i) {
        const char c = body[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            digits += c;
            seenDigit = true;
        } else if (c == ',' && !seenPoint && seenDigit) {
            continue;
        } else if (c == '.' && !seenPoint) {
            digits += '.';
            seenPoint = true;
        } else {
            Raise(kErrTypeMismatch);
        }
    }
    if (!seenDigit) {
        Raise(kErrTypeMismatch);
    }
    const double value = std::strtod(digits.c_str(), nullptr);  // stod throws on 1e400 and 1e-400
    return negative ? -value : value;
}

template <class Int>
Int ToInt(const std::string& text, double low, double high) {
    const double rounded = std::nearbyint(ParseNumber(text));
    if (rounded < low || rounded > high) {
        Raise(kErrOverflow);
    }
    return static_cast<Int>(rounded);
}

}  // namespace

int16_t FakeNumbers::ToInteger(const std::string& text) {
    return ToInt<int16_t>(text, -32768.0, 32767.0);
}

int32_t FakeNumbers::ToLong(const std::string& text) {
    return ToInt<int32_t>(text, -2147483648.0, 2147483647.0);
}

bool FakeNumbers::ToBoolean(const std::string& text) {
    // The words take no blanks around or inside them; a number may have them.
    std::string lower;
    for (char c : text) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (lower == "true") {
        return true;
    }
    if (lower == "false") {
        return false;
    }
    return ParseNumber(text) != 0;
}

}  // namespace quillon::fakes
