#pragma once
// Blank trimming for the texts the system reports.

#include <string>

namespace quillon {

// Removes leading and trailing blanks (spaces only, not other white space).
inline std::string TrimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace quillon
