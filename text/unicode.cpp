#include "text/unicode.h"

#include "text/drawingtext.h"

#include <cstdint>
#include <cstring>

namespace kelvora {

namespace unicode {

namespace {

// Windows-1252 bytes 0x80..0x9F; 0xA0..0xFF are the Latin-1 code points.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

char32_t fromWindows1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char32_t(byte);
}

void appendWindows1252(std::string_view bytes, std::string& out) {
    for (const char c : bytes) {
        appendUtf8(out, fromWindows1252(static_cast<unsigned char>(c)));
    }
}

void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

std::size_t asciiRun(std::string_view text) {
    std::size_t run = 0;
    // Eight bytes at a time while none has its high bit set.
    for (std::uint64_t word; text.size() - run >= sizeof word; run += sizeof word) {
        std::memcpy(&word, text.data() + run, sizeof word);
        if ((word & 0x8080808080808080u) != 0) {
            break;
        }
    }
    while (run < text.size() && (text[run] & 0x80) == 0) {
        ++run;
    }
    return run;
}

bool readUtf8(std::string_view text, std::size_t& pos, char32_t& codePoint) {
    const auto lead = static_cast<std::uint8_t>(text[pos]);
    if (lead < 0x80) {
        codePoint = lead;
        ++pos;
        return true;
    }
    std::size_t extra;
    char32_t value;
    char32_t least;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, value = lead & 0x07, least = 0x10000;
    } else {
        return false;
    }
    if (text.size() - pos <= extra) {
        return false;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto next = static_cast<std::uint8_t>(text[pos + k]);
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || isSurrogate(value)) {
        return false;
    }
    codePoint = value;
    pos += extra + 1;
    return true;
}

} // namespace unicode

bool isValidUtf8(std::string_view bytes) {
    std::size_t pos = 0;
    char32_t codePoint;
    while ((pos += unicode::asciiRun(bytes.substr(pos))) < bytes.size()) {
        if (!unicode::readUtf8(bytes, pos, codePoint)) {
            return false;
        }
    }
    return true;
}

std::string utf8FromAnsi(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    unicode::appendWindows1252(bytes, out);
    return out;
}

void utf16FromAnsi(std::string_view bytes, std::u16string& out) {
    out.clear();
    std::size_t pos = 0;
    char32_t codePoint;
    while (pos < bytes.size()) {
        if ((bytes[pos] & 0x80) == 0) {
            out += static_cast<char16_t>(bytes[pos++]);
            continue;
        }
        if (!unicode::readUtf8(bytes, pos, codePoint)) {
            out.clear();
            for (const char c : bytes) {
                out +=
                    static_cast<char16_t>(unicode::fromWindows1252(static_cast<unsigned char>(c)));
            }
            return;
        }
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
            out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
        } else {
            out += static_cast<char16_t>(codePoint);
        }
    }
}

} // namespace kelvora
