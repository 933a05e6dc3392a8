// Texts of drawings and configuration files to UTF-8: the drawing's code page, the Unicode
// escapes \U+XXXX and \M+NXXXX, the percent codes (%%c, %%d, %%p, %%nnn) and the plain text of
// MTEXT contents.
#pragma once

#include "text/codepage.h"

#include <array>
#include <string>
#include <string_view>

namespace kelvora {

// True when the bytes are strict UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF).
bool isValidUtf8(std::string_view bytes);
// The rule for texts that carry no code page (configuration files, drawings without a header):
// UTF-8 when the bytes are valid UTF-8, else Windows-1252 (its five unassigned bytes keep their
// C1 code point). Result in UTF-8.
std::string utf8FromAnsi(std::string_view bytes);
// The same rule to UTF-16, reusing out's storage.
void utf16FromAnsi(std::string_view bytes, std::u16string& out);

// How the texts of one drawing are decoded. One drawing is read by one thread: an object is
// not to be used by two threads at once.
class DrawingText {
public:
    DrawingText(); // no header seen: each text by utf8FromAnsi

    // From the header variables $ACADVER ("AC1015") and $DWGCODEPAGE ("ANSI_1251"); either may
    // be empty when the header lacks it. Called at most once, before any decode. From AC1021 on
    // texts are UTF-8 (a text that is not is read as Windows-1252); before, the code page
    // $DWGCODEPAGE names, Windows-1252 when it names none known.
    void setHeader(std::string_view acadver, std::string_view dwgcodepage);

    // Bytes as read from the drawing to UTF-8, with the escapes \U+XXXX and \M+NXXXX and the
    // percent codes replaced by their characters. Bytes that do not decode are read as
    // Windows-1252; escapes and codes that are not well formed stay as they are.
    std::string decode(std::string_view raw) const;
    // The same into out, reusing its storage; raw must not view out.
    void decode(std::string_view raw, std::string& out) const;
    // The contents of an MTEXT (its groups 3 in order, then its group 1) as plain UTF-8 text:
    // formatting codes removed, \P and \N as line feeds, \~ as a space, stacked text as
    // "top/bottom", escapes and percent codes expanded in the same pass (so "\\U+0041" stays
    // a backslash followed by "U+0041").
    std::string decodeMtext(std::string_view raw) const;

    // The drawing's bytes with ASCII letters upper-cased, leaving the second bytes of double-byte
    // characters alone: a name upper-cased for results that keep the drawing's bytes.
    std::string upperAsRead(std::string_view raw) const;

    // The encoding in use, for messages: "UTF-8 else CP1252" without a header, "UTF-8", or the
    // code page ("CP1251", "ISO-8859-5").
    std::string_view encodingName() const;

private:
    std::string_view toUtf8(std::string_view raw) const;
    std::size_t expandCode(std::string_view text, std::size_t at, std::string& out) const;
    std::size_t expandPercent(std::string_view code, std::string& out) const;
    std::size_t expandUnicode(std::string_view code, std::string& out) const;
    std::size_t expandDoubleByte(std::string_view code, std::string& out) const;

    bool header_ = false;
    bool utf8_ = true;
    CodePage codePage_; // texts before AC1021, and the characters of %%nnn codes
    // The code pages of \M+1 .. \M+5 (932, 950, 949, 1361, 936), opened when first used.
    mutable std::array<Iconv, 5> escapePages_;
    mutable std::string converted_; // a text in UTF-8 before its codes are expanded
};

// MTEXT formatting removed, every other byte as read (no code page, no escape or percent code
// expanded): for results that keep the drawing's bytes.
std::string plainMtextAsRead(std::string_view raw);

} // namespace kelvora
