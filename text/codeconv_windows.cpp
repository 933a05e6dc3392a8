// The code page conversion on Windows: MultiByteToWideChar, one character at a time, so that a
// byte that starts no character is told apart as it is by iconv.
#include "text/codepage.h"

#include "text/unicode.h"

#include <charconv>
#include <utility>
#include <windows.h>

namespace kelvora {

namespace {

// The Windows number of a code page named as iconv names it; 0 when there is none.
unsigned windowsCodePage(std::string_view name) {
    auto numberAfter = [&](std::string_view prefix) -> unsigned {
        unsigned number = 0;
        const char* end = name.data() + name.size();
        if (!name.starts_with(prefix) ||
            std::from_chars(name.data() + prefix.size(), end, number).ptr != end) {
            return 0;
        }
        return number;
    };
    if (const unsigned number = numberAfter("CP")) {
        return number;
    }
    if (const unsigned part = numberAfter("ISO-8859-")) {
        return 28590 + part;
    }
    struct Named {
        std::string_view name;
        unsigned codePage;
    };
    static constexpr Named kMac[] = {{"MACINTOSH", 10000},
                                     {"MAC-CYRILLIC", 10007},
                                     {"MACUKRAINIAN", 10017},
                                     {"MAC-CENTRALEUROPE", 10029}};
    for (const Named& mac : kMac) {
        if (name == mac.name) {
            return mac.codePage;
        }
    }
    return 0;
}

bool isIsoPage(unsigned codePage) {
    return codePage >= 28591 && codePage <= 28606;
}

} // namespace

Iconv::Iconv(const char* codePage) : codePage_(windowsCodePage(codePage)) {
    if (codePage_ != 0 && !::IsValidCodePage(codePage_)) {
        codePage_ = 0;
    }
}

Iconv::Iconv(Iconv&& other) noexcept : codePage_(std::exchange(other.codePage_, 0)) {}

Iconv& Iconv::operator=(Iconv&& other) noexcept {
    if (this != &other) {
        codePage_ = std::exchange(other.codePage_, 0);
    }
    return *this;
}

Iconv::~Iconv() = default;

bool Iconv::appendUtf8(std::string_view bytes, std::string& out) const {
    CPINFO info{};
    const bool doubleByte = ::GetCPInfo(codePage_, &info) && info.MaxCharSize > 1;
    bool clean = true;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        const bool lead = doubleByte && ::IsDBCSLeadByteEx(codePage_, byte);
        const int length = lead ? 2 : 1;
        wchar_t wide[2];
        int n = 0;
        if (at + static_cast<std::size_t>(length) <= bytes.size()) {
            n = ::MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes.data() + at, length,
                                      wide, 2);
        }
        char32_t codePoint = n > 0 ? wide[0] : 0;
        if (n == 2 && unicode::isSurrogate(wide[0])) {
            codePoint = 0x10000 + ((char32_t(wide[0]) - 0xD800) << 10) + (wide[1] - 0xDC00);
        }
        // Windows fills the holes of its tables for single bytes: with private-use characters
        // (U+F8FF is the Apple logo of the Macintosh page, a character), and, outside the ISO
        // pages, with the C1 control of the byte's own value. iconv knows no character there.
        const bool hole = length == 1 && byte >= 0x80 &&
                          ((codePoint >= 0xE000 && codePoint < 0xF8FF) ||
                           (codePoint == byte && byte < 0xA0 && !isIsoPage(codePage_)));
        if (n <= 0 || hole) {
            unicode::appendUtf8(out, unicode::fromWindows1252(byte));
            clean = false;
            ++at;
            continue;
        }
        unicode::appendUtf8(out, codePoint);
        at += static_cast<std::size_t>(length);
    }
    return clean;
}

} // namespace kelvora
