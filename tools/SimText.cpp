#include "SimText.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace quillon::tools {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Morse patterns of the characters a CW decoder prints.
const char* MorsePattern(unsigned char c) {
    static const char* const kLetters[26] = {".-",   "-...", "-.-.", "-..",  ".",    "..-.", "--.",
                                             "....", "..",   ".---", "-.-",  ".-..", "--",   "-.",
                                             "---",  ".--.", "--.-", ".-.",  "...",  "-",    "..-",
                                             "...-", ".--",  "-..-", "-.--", "--.."};
    static const char* const kDigits[10] = {"-----", ".----", "..---", "...--", "....-",
                                            ".....", "-....", "--...", "---..", "----."};
    if (c == 216) {
        c = '0';
    } else if (c == 183) {
        c = '.';
    } else if (c == 173) {
        c = '-';
    }
    if (std::isalpha(c) != 0 && c < 128) {
        return kLetters[std::toupper(c) - 'A'];
    }
    if (c >= '0' && c <= '9') {
        return kDigits[c - '0'];
    }
    switch (c) {
        case '.':
            return ".-.-.-";
        case ',':
            return "--..--";
        case '?':
            return "..--..";
        case '/':
            return "-..-.";
        case '=':
            return "-...-";
        case '-':
            return "-....-";
        case '+':
            return ".-.-.";
        default:
            return "..--.-";  // anything else: an average-length character
    }
}

}  // namespace

std::string UnescapeBytes(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const char next = text[i + 1];
        if (next == '\\') {
            out += '\\';
            ++i;
        } else if (next == 'n') {
            out += '\n';
            ++i;
        } else if (next == 'r') {
            out += '\r';
            ++i;
        } else if (next == 't') {
            out += '\t';
            ++i;
        } else if ((next == 'x' || next == 'X') && i + 3 < text.size() &&
                   HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
            i += 3;
        } else {
            out += c;
        }
    }
    return out;
}

std::string EscapeBytes(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
            out += hex;
        }
    }
    return out;
}

int MorseUnits(unsigned char character) {
    if (character == ' ') {
        return 4;
    }
    int units = 0;
    for (const char* p = MorsePattern(character); *p != '\0'; ++p) {
        units += (*p == '.' ? 1 : 3) + 1;
    }
    return units - 1 + 3;
}

double DotMilliseconds(double wpm) {
    return 1200.0 / (wpm > 0.0 ? wpm : 20.0);
}

int64_t NowMicroseconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<int64_t>(static_cast<double>(counter.QuadPart) * 1e6 /
                                static_cast<double>(frequency.QuadPart));
}

}  // namespace quillon::tools
