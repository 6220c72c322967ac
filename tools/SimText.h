#pragma once
// Text helpers shared by the simulators and the benchmark programs.

#include <cstdint>
#include <string>

namespace quillon::tools {

// Reverses EscapeBytes and also accepts \n, \r and \t: "\xD8" is byte 216,
// "\\" a backslash. A malformed escape is taken literally.
std::string UnescapeBytes(const std::string& text);

// Printable ASCII stays, a backslash becomes "\\", every other byte "\xHH"
// (upper-case hex), so each value fits on one line unambiguously.
std::string EscapeBytes(const std::string& bytes);

// Length of one character in Morse dot units at PARIS timing, including the
// gap that follows it (3 units; a space adds the rest of the 7-unit word
// gap). The decoder's own characters 173, 183 and 216 time like "-", "."
// and "0".
int MorseUnits(unsigned char character);

// Milliseconds of one dot unit at `wpm` words per minute (PARIS: 50 units
// per word).
double DotMilliseconds(double wpm);

// Microseconds on a clock shared by all processes of the machine.
int64_t NowMicroseconds();

}  // namespace quillon::tools
