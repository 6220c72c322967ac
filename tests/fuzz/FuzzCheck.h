#pragma once
// The one assertion of the fuzz targets: a broken property prints what was
// expected and aborts, which libFuzzer records as a crash with its input.

#include <cstdio>
#include <cstdlib>

namespace quillon::fuzz {

inline void Require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "fuzz property broken: %s\n", property);
        std::abort();
    }
}

}  // namespace quillon::fuzz
