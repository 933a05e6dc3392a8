// Byte-wise helpers for the ASCII part of texts in any 8-bit encoding or UTF-8: bytes above 127
// are never changed.
#pragma once

#include <string>
#include <string_view>

namespace kelvora {

// Removes leading and trailing bytes of code 32 or less (blanks and control characters).
inline std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) {
        text.remove_suffix(1);
    }
    return text;
}

// Upper-cases ASCII letters only; every other byte stays as it is.
constexpr char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string asciiUpper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = asciiUpper(c);
    }
    return result;
}

} // namespace kelvora
