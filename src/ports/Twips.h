#pragma once
// The ports measure lengths in twips: 1440 to the logical inch.

namespace quillon {

constexpr double kTwipsPerInch = 1440;

}  // namespace quillon
