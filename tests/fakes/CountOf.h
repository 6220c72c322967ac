#pragma once
// Counting a text in a log, for the host tests, the fuzz targets and the
// Windows tests alike.

#include <string>

namespace quillon::fakes {

// How often `what` occurs in `text`, occurrences not overlapping.
inline int CountOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

}  // namespace quillon::fakes
