#include "text/drawingtext.h"

#include "text/unicode.h"

#include <algorithm>

namespace kelvora {

namespace {

// The value of four hex digits (either case) at the start of text; -1 when there are none.
int hex4(std::string_view text) {
    if (text.size() < 4) {
        return -1;
    }
    int value = 0;
    for (const char c : text.substr(0, 4)) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// The position of the first of the characters at or after at; text.size() when there is none.
template <char... characters> std::size_t findAny(std::string_view text, std::size_t at) {
    const auto found = std::find_if(text.begin() + at, text.end(),
                                    [](char c) { return ((c == characters) || ...); });
    return static_cast<std::size_t>(found - text.begin());
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// "\U+" or "\u+" (or the same with M) at the start of text.
bool startsEscape(std::string_view text, char letter) {
    return text.size() >= 3 && text[0] == '\\' && (text[1] | 0x20) == (letter | 0x20) &&
           text[2] == '+';
}

// Stacked text after "\S": top and bottom parted by the first '^', '/' or '#', up to a ';'.
// Appends "top/bottom" (only the top when nothing parts it) and returns the position after the
// ';'; 0, appending nothing, when no ';' ends it. A backslash takes the next character as it is.
template <class Expand>
std::size_t appendStack(std::string_view text, std::size_t at, std::string& out,
                        const Expand& expand) {
    std::size_t end = at;
    while (end < text.size() && text[end] != ';') {
        end += text[end] == '\\' ? 2 : 1;
    }
    if (end >= text.size()) {
        return 0;
    }
    const std::string_view stack = text.substr(0, end);
    bool parted = false;
    while (at < end) {
        if (const std::size_t used = expand(stack, at, out)) {
            at += used;
        } else if (stack[at] == '\\' && at + 1 < end) {
            out += stack[at + 1];
            at += 2;
        } else if (!parted && (stack[at] == '^' || stack[at] == '/' || stack[at] == '#')) {
            out += '/';
            parted = true;
            ++at;
        } else {
            out += stack[at++];
        }
    }
    return end + 1;
}

// The MTEXT code at text[at], a backslash with a character after it: appends what it stands
// for and returns the position after it.
template <class Expand>
std::size_t appendMtextCode(std::string_view text, std::size_t at, std::string& out,
                            const Expand& expand) {
    const char code = text[at + 1];
    switch (code) {
    case '\\':
    case '{':
    case '}':
        out += code;
        return at + 2;
    case 'P': // paragraph
    case 'N': // column break
        out += '\n';
        return at + 2;
    case '~': // non-breaking space: a plain one, as spreadsheet users search and compare
        out += ' ';
        return at + 2;
    case 'L': // underline, overline and strike-through on and off
    case 'l':
    case 'O':
    case 'o':
    case 'K':
    case 'k':
        return at + 2;
    case 'f': // font, height, colour, tracking, slant, width, alignment, paragraph: up to ';'
    case 'F':
    case 'H':
    case 'C':
    case 'c':
    case 'T':
    case 'Q':
    case 'W':
    case 'A':
    case 'p':
        if (const std::size_t end = text.find(';', at + 2); end != text.npos) {
            return end + 1;
        }
        break;
    case 'S':
        if (const std::size_t next = appendStack(text, at + 2, out, expand)) {
            return next;
        }
        break;
    default:
        break;
    }
    out += '\\';
    return at + 1;
}

// Appends the plain text of MTEXT contents. expand(text, at, out) appends the character of an
// escape or percent code at text[at] and returns its length, 0 when none is there.
template <class Expand>
void appendPlainMtext(std::string_view text, std::string& out, const Expand& expand) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t next = findAny<'\\', '{', '}', '%'>(text, at);
        out.append(text.substr(at, next - at));
        if (next == text.size()) {
            return;
        }
        at = next;
        if (text[at] == '{' || text[at] == '}') {
            ++at;
        } else if (const std::size_t used = expand(text, at, out)) {
            at += used;
        } else if (text[at] == '%' || at + 1 == text.size()) {
            out += text[at++];
        } else {
            at = appendMtextCode(text, at, out, expand);
        }
    }
}

} // namespace

DrawingText::DrawingText() = default;

void DrawingText::setHeader(std::string_view acadver, std::string_view dwgcodepage) {
    header_ = true;
    utf8_ = acadver >= "AC1021";
    codePage_ = CodePage(dwgcodepage);
}

std::string DrawingText::upperAsRead(std::string_view raw) const {
    std::string upper(raw);
    const bool pairs = header_ && !utf8_ && codePage_.doubleByte();
    for (std::size_t i = 0; i < upper.size(); ++i) {
        const auto b = static_cast<unsigned char>(upper[i]);
        if (b >= 'a' && b <= 'z') {
            upper[i] = static_cast<char>(b - 'a' + 'A');
        } else if (pairs && codePage_.leadByte(b)) {
            ++i; // the second byte belongs to the character
        }
    }
    return upper;
}

std::string_view DrawingText::encodingName() const {
    if (!header_) {
        return "UTF-8 else CP1252";
    }
    return utf8_ ? "UTF-8" : codePage_.name();
}

std::string_view DrawingText::toUtf8(std::string_view raw) const {
    // Every code page keeps ASCII as it is.
    if (unicode::asciiRun(raw) == raw.size() || (utf8_ && isValidUtf8(raw))) {
        return raw;
    }
    converted_.clear();
    if (utf8_) {
        unicode::appendWindows1252(raw, converted_);
    } else {
        codePage_.appendUtf8(raw, converted_);
    }
    return converted_;
}

std::string DrawingText::decode(std::string_view raw) const {
    std::string out;
    decode(raw, out);
    return out;
}

void DrawingText::decode(std::string_view raw, std::string& out) const {
    const std::string_view text = toUtf8(raw);
    out.clear();
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t next = findAny<'\\', '%'>(text, at);
        out.append(text.substr(at, next - at));
        if (next == text.size()) {
            return;
        }
        if (const std::size_t used = expandCode(text, next, out)) {
            at = next + used;
        } else {
            out += text[next];
            at = next + 1;
        }
    }
}

std::string DrawingText::decodeMtext(std::string_view raw) const {
    std::string out;
    appendPlainMtext(toUtf8(raw), out,
                     [this](std::string_view text, std::size_t at, std::string& to) {
                         return expandCode(text, at, to);
                     });
    return out;
}

std::size_t DrawingText::expandCode(std::string_view text, std::size_t at, std::string& out) const {
    const std::string_view code = text.substr(at);
    if (code[0] == '%') {
        return expandPercent(code, out);
    }
    if (startsEscape(code, 'U')) {
        return expandUnicode(code, out);
    }
    if (startsEscape(code, 'M')) {
        return expandDoubleByte(code, out);
    }
    return 0;
}

std::size_t DrawingText::expandPercent(std::string_view code, std::string& out) const {
    if (code.size() < 3 || code[1] != '%') {
        return 0;
    }
    switch (code[2] | 0x20) {
    case 'c':
        unicode::appendUtf8(out, U'\u2300'); // diameter
        return 3;
    case 'd':
        unicode::appendUtf8(out, U'\u00B0'); // degree
        return 3;
    case 'p':
        unicode::appendUtf8(out, U'\u00B1'); // plus-minus
        return 3;
    case 'u': // underline and overline on or off
    case 'o':
        return 3;
    default:
        break;
    }
    if (code[2] == '%') {
        out += '%';
        return 3;
    }
    if (code.size() >= 5 && isDigit(code[2]) && isDigit(code[3]) && isDigit(code[4])) {
        const int number = (code[2] - '0') * 100 + (code[3] - '0') * 10 + (code[4] - '0');
        if (number < 256) {
            const char byte = static_cast<char>(number);
            codePage_.appendUtf8({&byte, 1}, out);
            return 5;
        }
    }
    return 0;
}

std::size_t DrawingText::expandUnicode(std::string_view code, std::string& out) const {
    const int first = hex4(code.substr(3));
    if (first < 0) {
        return 0;
    }
    if (!unicode::isSurrogate(static_cast<char32_t>(first))) {
        unicode::appendUtf8(out, static_cast<char32_t>(first));
        return 7;
    }
    // A character above U+FFFF written as its two UTF-16 halves.
    const std::string_view rest = code.substr(7);
    const int second = startsEscape(rest, 'U') ? hex4(rest.substr(3)) : -1;
    if (first >= 0xDC00 || second < 0xDC00 || second > 0xDFFF) {
        return 0;
    }
    unicode::appendUtf8(out,
                        0x10000 + ((char32_t(first) - 0xD800) << 10) + (char32_t(second) - 0xDC00));
    return 14;
}

std::size_t DrawingText::expandDoubleByte(std::string_view code, std::string& out) const {
    static constexpr const char* kPages[] = {"CP932", "CP950", "CP949", "CP1361", "CP936"};
    if (code.size() < 8 || code[3] < '1' || code[3] > '5') {
        return 0;
    }
    const int bytes = hex4(code.substr(4));
    if (bytes < 0) {
        return 0;
    }
    Iconv& page = escapePages_[code[3] - '1'];
    if (!page.isOpen()) {
        page = Iconv(kPages[code[3] - '1']);
    }
    const char pair[] = {static_cast<char>(bytes >> 8), static_cast<char>(bytes & 0xFF)};
    std::string character;
    std::size_t end = 0;
    char32_t codePoint;
    if (!page.isOpen() || !page.appendUtf8({pair, 2}, character) ||
        !unicode::readUtf8(character, end, codePoint) || end != character.size()) {
        return 0;
    }
    out += character;
    return 8;
}

std::string plainMtextAsRead(std::string_view raw) {
    std::string out;
    appendPlainMtext(raw, out,
                     [](std::string_view, std::size_t, std::string&) -> std::size_t { return 0; });
    return out;
}

} // namespace kelvora
