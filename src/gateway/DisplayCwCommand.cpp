#include "gateway/DisplayCwCommand.h"

namespace quillon {

void SubstituteDecoderCharacters(std::string& text) {
    for (char& c : text) {
        switch (static_cast<unsigned char>(c)) {
            case 173:
                c = '-';
                break;
            case 183:
                c = '.';
                break;
            case 216:
                c = '0';
                break;
            default:
                break;
        }
    }
}

std::string BuildDisplayCwCommand(const std::string& decodedText) {
    std::string text = decodedText;
    SubstituteDecoderCharacters(text);
    return "006displaycw" + text;
}

}  // namespace quillon
