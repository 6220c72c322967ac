#pragma once
// The one message this program sends: a "displaycw" execute command on the
// logging program's DDE command server.
//
// Wire format (application "Palavan", topic "DDEServer", item "DDECommand";
// a DDE execute whose data is the command's bytes plus a terminating NUL):
//
//     "006" "displaycw" <text>
//
// joined with no separator, no argument delimiter and no terminator. "006"
// is the number 6 written with three zero-padded digits; it is the same for
// every command. <text> is one value of the decoder's item "RXSymbol"
// (application "MRP40" or "MRP40 SDR", topic "MRP40Form"), single-byte
// Windows-1252 text, with three decoder-specific characters replaced one for
// one, so the length never changes:
//
//     173 soft hyphen   -> "-"
//     183 middle dot    -> "."
//     216 slashed zero  -> "0"
//
// Every other byte passes unchanged. Compatibility: the receiver relies on
// the fixed 12-byte prefix; the text is never quoted or escaped, so a value
// must not be split or joined with another.

#include <string>

namespace quillon {

// Replaces the three decoder-specific characters in place.
void SubstituteDecoderCharacters(std::string& text);

// "006displaycw" followed by the substituted text.
std::string BuildDisplayCwCommand(const std::string& decodedText);

}  // namespace quillon
