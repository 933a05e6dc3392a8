// Code points, strict UTF-8 and Windows-1252: the pieces every decoder of this library shares.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvora::unicode {

// The character of a Windows-1252 byte; the five unassigned bytes keep their C1 code point,
// as the Windows conversion does.
char32_t fromWindows1252(unsigned char byte);

// Appends the Windows-1252 bytes to out as UTF-8.
void appendWindows1252(std::string_view bytes, std::string& out);

// Appends a code point (not a surrogate, at most U+10FFFF) as UTF-8.
void appendUtf8(std::string& out, char32_t codePoint);

// The number of ASCII bytes at the start of text.
std::size_t asciiRun(std::string_view text);

// Reads the strict UTF-8 character at text[pos]: stores its code point and moves pos past it.
// False, with pos unchanged, when the bytes there are not UTF-8.
bool readUtf8(std::string_view text, std::size_t& pos, char32_t& codePoint);

inline bool isSurrogate(char32_t codePoint) {
    return codePoint >= 0xD800 && codePoint <= 0xDFFF;
}

} // namespace kelvora::unicode
