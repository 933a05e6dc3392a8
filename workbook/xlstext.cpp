#include "xlstext.h"

#include <algorithm>
#include <cstdint>

namespace kelvora {

namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned bytes keep their own code point, as the
// Windows conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. False when the
// bytes are not UTF-8.
bool DecodeUtf8(std::string_view text, std::u16string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<std::uint8_t>(text[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        int extra;
        char32_t cp;
        char32_t minimum;
        if ((b0 & 0xE0) == 0xC0) {
            extra = 1, cp = b0 & 0x1F, minimum = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2, cp = b0 & 0x0F, minimum = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3, cp = b0 & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<std::uint8_t>(text[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return true;
}

} // namespace

void DecodeAnsiText(std::string_view text, std::u16string& out) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; })) {
        out.assign(text.begin(), text.end());
        return;
    }
    if (DecodeUtf8(text, out))
        return;
    out.clear();
    for (char c : text) {
        const auto b = static_cast<std::uint8_t>(c);
        out.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b));
    }
}

std::u16string DecodeAnsiText(std::string_view text) {
    std::u16string out;
    DecodeAnsiText(text, out);
    return out;
}

} // namespace kelvora
