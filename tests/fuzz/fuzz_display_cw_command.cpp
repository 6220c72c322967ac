// The forwarding transform and the "displaycw" command over arbitrary bytes:
// the command is the 12-byte prefix plus the text, only the three decoder
// characters change, each into its one replacement, and none of them is left.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "gateway/DisplayCwCommand.h"

using quillon::fuzz::Require;

namespace {

char Replacement(unsigned char c) {
    switch (c) {
        case 173:
            return '-';
        case 183:
            return '.';
        case 216:
            return '0';
        default:
            return static_cast<char>(c);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::string substituted = text;
    quillon::SubstituteDecoderCharacters(substituted);
    Require(substituted.size() == text.size(), "substitution keeps the length");

    const std::string command = quillon::BuildDisplayCwCommand(text);
    Require(command.size() == 12 + text.size(), "command length is 12 + n");
    Require(command.compare(0, 12, "006displaycw") == 0, "command starts with 006displaycw");
    Require(command.compare(12, std::string::npos, substituted) == 0,
            "command carries the substituted text");

    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char in = static_cast<unsigned char>(text[i]);
        const unsigned char out = static_cast<unsigned char>(command[12 + i]);
        Require(out == static_cast<unsigned char>(Replacement(in)),
                "each byte is kept or replaced by its one substitute");
        Require(out != 173 && out != 183 && out != 216, "no decoder character is left");
    }
    return 0;
}
