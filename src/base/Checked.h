#pragma once
// Arithmetic with the overflow checks of 16- and 32-bit integers: a result
// outside the type's range raises run-time error 6 (Overflow).

#include <cmath>
#include <cstdint>
#include <limits>

#include "base/RuntimeError.h"

namespace quillon {

template <class Int>
Int CheckedNarrow(int64_t value) {
    if (value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max()) {
        Raise(kErrOverflow);
    }
    return static_cast<Int>(value);
}

inline int16_t CheckedAdd16(int16_t a, int16_t b) {
    return CheckedNarrow<int16_t>(int64_t{a} + b);
}
inline int16_t CheckedMul16(int16_t a, int16_t b) {
    return CheckedNarrow<int16_t>(int64_t{a} * b);
}
inline int32_t CheckedAdd32(int32_t a, int32_t b) {
    return CheckedNarrow<int32_t>(int64_t{a} + b);
}

// Rounds to the nearest integer, halves to the even neighbour, as the
// classic conversions to integer types do.
inline double RoundHalfEven(double value) {
    return std::nearbyint(value);
}

// Converts a double to a 32-bit integer with banker's rounding; overflow
// (and NaN) raise error 6.
inline int32_t CheckedRoundToLong(double value) {
    const double rounded = RoundHalfEven(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        Raise(kErrOverflow);
    }
    return static_cast<int32_t>(rounded);
}

}  // namespace quillon
