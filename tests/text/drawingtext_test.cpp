// The texts of one drawing: its encoding from the header, escapes and percent codes.
#include "text/drawingtext.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

namespace kelvora {
namespace {

DrawingText drawing(std::string_view acadver, std::string_view codepage) {
    DrawingText text;
    text.setHeader(acadver, codepage);
    return text;
}

std::string decodeIn(std::string_view codepage, std::string_view raw) {
    return drawing("AC1015", codepage).decode(raw);
}

TEST(CodePages, EachFamilyDecodes) {
    EXPECT_EQ(decodeIn("ANSI_1251", "\xC1\xEE\xEB\xF2 \xCC"
                                    "12"),
              "Болт М12");
    EXPECT_EQ(decodeIn("ANSI_932", "\x90\x7D\x96\xCA No.3"), "図面 No.3");
    EXPECT_EQ(decodeIn("ANSI_932", "\xB1\xB2"), "ｱｲ"); // single-byte katakana
    EXPECT_EQ(decodeIn("ANSI_936", "\xD6\xD0\xCE\xC4"), "中文");
    EXPECT_EQ(decodeIn("ANSI_950", "\xA4\xA4\xA4\xE5"), "中文");
    EXPECT_EQ(decodeIn("ANSI_949", "\xC7\xD1\xB1\xB9"), "한국");
    EXPECT_EQ(decodeIn("ANSI_1361", "\x88\x61"), "가");
    EXPECT_EQ(decodeIn("ANSI_1253", "\xC5\xEB\xEB\xDC\xE4\xE1"), "Ελλάδα");
    EXPECT_EQ(decodeIn("ANSI_874", "\xE4\xB7\xC2"), "ไทย");
    EXPECT_EQ(decodeIn("DOS850", "Gr\x94\xE1"
                                 "e"),
              "Größe");
    EXPECT_EQ(decodeIn("ANSI_1252", "\x80 \xE9"), "€ é");
}

TEST(CodePages, NamesAndSpellings) {
    struct Case {
        std::string_view dxfName;
        std::string_view encoding;
        std::string_view raw;
        std::string_view text;
    };
    const Case cases[] = {
        {"ansi_1251", "CP1251", "\xC1", "Б"},
        {" ANSI_1251 ", "CP1251", "\xC1", "Б"},
        {"DOS866", "CP866", "\x81", "Б"},
        {"DOS932", "CP932", "\x90\x7D", "図"},
        {"ISO8859-5", "ISO-8859-5", "\xB1", "Б"},
        {"8859_5", "ISO-8859-5", "\xB1", "Б"},
        {"iso-8859-15", "ISO-8859-15", "\xA4", "€"},
        {"MACINTOSH", "MACINTOSH", "\x8A", "ä"},
        {"mac-roman", "MACINTOSH", "\x8A", "ä"},
        {"MAC-CYRILLIC", "MAC-CYRILLIC", "\x81", "Б"},
        {"BIG5", "CP950", "\xA4\xA4", "中"},
        {"GB2312", "CP936", "\xD6\xD0", "中"},
        {"KSC5601", "CP949", "\xC7\xD1", "한"},
        {"JOHAB", "CP1361", "\x88\x61", "가"},
        // Unknown, reserved or absent: Windows-1252.
        {"KOI8-R", "CP1252", "\xC1", "Á"},
        {"ANSI_1200", "CP1252", "\xC1", "Á"},
        {"ANSI_37", "CP1252", "\xC1", "Á"},
        {"", "CP1252", "\xC1", "Á"},
    };
    for (const Case& c : cases) {
        const DrawingText text = drawing("AC1015", c.dxfName);
        EXPECT_EQ(text.encodingName(), c.encoding) << c.dxfName;
        EXPECT_EQ(text.decode(c.raw), c.text) << c.dxfName;
    }
}

TEST(CodePages, VersionDecidesUtf8) {
    const std::string_view cp1251 = "\xC1\xEE\xEB\xF2";
    EXPECT_EQ(drawing("AC1018", "ANSI_1251").decode(cp1251), "Болт");
    EXPECT_EQ(drawing("", "ANSI_1251").decode(cp1251), "Болт");
    for (const std::string_view version : {"AC1021", "AC1024", "AC1032"}) {
        const DrawingText text = drawing(version, "ANSI_1251");
        EXPECT_EQ(text.encodingName(), "UTF-8");
        EXPECT_EQ(text.decode("Болт"), "Болт");
        // Not UTF-8 after all: Windows-1252, not the named code page.
        EXPECT_EQ(text.decode(cp1251), "Áîëò");
    }
    const DrawingText none;
    EXPECT_EQ(none.encodingName(), "UTF-8 else CP1252");
    EXPECT_EQ(none.decode("Болт"), "Болт");
    EXPECT_EQ(none.decode(cp1251), "Áîëò");
    EXPECT_EQ(drawing("AC1015", "").decode("Болт"), "Ð‘Ð¾Ð»Ñ‚");
}

TEST(CodePages, BytesThatDoNotDecodeAreKeptAsWindows1252) {
    EXPECT_EQ(decodeIn("ANSI_1253", "A\xAA"
                                    "B"),
              "AªB"); // unassigned in Greek
    EXPECT_EQ(decodeIn("ANSI_874", "\xE4\xDB"), "ไÛ");
    EXPECT_EQ(decodeIn("ANSI_932", "\x90\x7D\x80\xA0"), "図€\u00A0");
    EXPECT_EQ(decodeIn("ANSI_932", "\x90\x7D\x96"), "図–");   // lead byte at the end
    EXPECT_EQ(decodeIn("ANSI_936", "\xD6 \xD6\xD0"), "Ö 中"); // lead byte before a space
    // A pair that glibc refuses only after reading both bytes (and Windows refuses too).
    EXPECT_EQ(decodeIn("ANSI_949", "\xA2\xE8 \xC7\xD1"), "¢è 한");
    EXPECT_EQ(decodeIn("ANSI_1252", "\x81\x8D"), "\u0081\u008D");
    EXPECT_EQ(drawing("AC1027", "")
                  .decode("Stra\xDF"
                          "e"),
              "Straße");
}

TEST(CodePages, AsciiStaysAsciiInEveryCodePage) {
    // A trail byte 0x5C is part of a character, not an escape.
    EXPECT_EQ(decodeIn("ANSI_932", "\x95\x5CU+0041"), "表U+0041");
    // Johab reads 0x5C as a backslash, as the escapes of drawings need.
    EXPECT_EQ(decodeIn("ANSI_1361", "\x88\x61\\U+0041 C:\\x"), "가A C:\\x");
    EXPECT_EQ(decodeIn("DOS864", "\xB0 %%d"), "\u0660 °"); // 0x25 stays the percent sign
    EXPECT_EQ(decodeIn("ANSI_932", "C:\\dwg\\M+1"), "C:\\dwg\\M+1");
}

TEST(PercentCodes, SymbolsAndToggles) {
    const DrawingText text;
    EXPECT_EQ(text.decode("%%c12 x 45%%d %%p0.1"), "⌀12 x 45° ±0.1");
    EXPECT_EQ(text.decode("%%C12 %%D %%P"), "⌀12 ° ±");
    EXPECT_EQ(text.decode("%%uUnder%%U and %%Oover%%o"), "Under and over");
    EXPECT_EQ(text.decode("50%%% off"), "50% off");
    EXPECT_EQ(text.decode("%%%%c"), "%%c"); // the code that made a percent sign is done
    EXPECT_EQ(text.decode("%%065%%0651"), "AA1");
    EXPECT_EQ(text.decode("%%128 %%176"), "€ °"); // Windows-1252 without a header
    // Nothing known: stays.
    EXPECT_EQ(text.decode("100% %%x %%65 %%256 %% %"), "100% %%x %%65 %%256 %% %");
}

TEST(PercentCodes, NumberedCharactersInTheDrawingsCodePage) {
    EXPECT_EQ(decodeIn("ANSI_1251", "%%193%%065"), "БA");
    EXPECT_EQ(drawing("AC1024", "ANSI_1251").decode("%%193"), "Б");
    EXPECT_EQ(drawing("AC1024", "").decode("%%193"), "Á");
    EXPECT_EQ(decodeIn("ANSI_932", "%%177%%144"), "ｱ\u0090"); // a lone lead byte: Windows-1252
}

TEST(UnicodeEscapes, FourHexDigitsEitherCase) {
    const DrawingText text;
    EXPECT_EQ(text.decode("M12\\U+FF1A8"), "M12：8");
    EXPECT_EQ(text.decode("\\u+4e2d\\U+4E2D"), "中中");
    EXPECT_EQ(text.decode("\\U+00411"), "A1");
    EXPECT_EQ(text.decode("\\U+D83D\\U+DE00!"), "😀!");
    EXPECT_EQ(text.decode("\\U+d83d\\u+de00"), "😀");
    // Malformed or lone surrogates stay as written.
    for (const std::string_view literal :
         {"\\U+12G4", "\\U+123", "\\U0041", "\\U+", "\\", "\\U+D83D", "\\U+DE00",
          "\\U+DE00\\U+D83D", "\\U+D83D\\U+D83D", "\\U+DC00\\U+DC00"}) {
        EXPECT_EQ(text.decode(literal), literal);
    }
    EXPECT_EQ(text.decode("\\U+D83D\\U+0041"), "\\U+D83DA");
    EXPECT_EQ(text.decode("\\\\U+0041"), "\\A"); // outside MTEXT a backslash is no escape
    // Escapes are read after the code page.
    EXPECT_EQ(decodeIn("ANSI_1251", "\xC1\\U+0041"), "БA");
}

TEST(DoubleByteEscapes, CodePageByNumber) {
    const DrawingText text;
    EXPECT_EQ(text.decode("\\M+1907D"), "図");
    EXPECT_EQ(text.decode("\\m+1907d"), "図");
    EXPECT_EQ(text.decode("\\M+2A4A4"), "中");
    EXPECT_EQ(text.decode("\\M+3C7D1"), "한");
    EXPECT_EQ(text.decode("\\M+48861"), "가");
    EXPECT_EQ(text.decode("\\M+5D6D0x"), "中x");
    for (const std::string_view literal :
         {"\\M+6D6D0", "\\M+0D6D0", "\\M+1907", "\\M+1FFFF", "\\M+10041", "\\M+1", "\\M1907D"}) {
        EXPECT_EQ(text.decode(literal), literal);
    }
}

TEST(DrawingTextObject, MovesAndReusesTheOutput) {
    static_assert(std::is_nothrow_move_constructible_v<DrawingText>);
    static_assert(!std::is_copy_constructible_v<DrawingText>);
    std::vector<DrawingText> texts;
    for (const char* codepage : {"ANSI_932", "ANSI_1251", "ANSI_949"}) {
        texts.emplace_back().setHeader("AC1015", codepage);
        EXPECT_EQ(texts.back().decode("\\M+1907D"), "図"); // opens an escape's code page
    }
    DrawingText moved = std::move(texts.front());
    EXPECT_EQ(moved.decode("\x90\x7D\\M+1907D"), "図図");
    EXPECT_EQ(texts[2].decode("\xC7\xD1"), "한");
    std::string out = "an earlier, longer value";
    texts[1].decode("\xC1", out);
    EXPECT_EQ(out, "Б");
    texts[1].decode("plain", out);
    EXPECT_EQ(out, "plain");
}

} // namespace
TEST(UpperAsRead, LeavesTheSecondBytesOfDoubleByteCharactersAlone) {
    // "ボルト" in Windows-932 ends in 0x83 0x67: the 0x67 ('g') belongs to the character.
    const std::string bolt = "\x83\x7B\x83\x8B\x83\x67";
    EXPECT_EQ(drawing("AC1015", "ANSI_932").upperAsRead(bolt + "m12"), bolt + "M12");
    // Half-width katakana are single bytes in 932: the letter after one is upper-cased.
    EXPECT_EQ(drawing("AC1015", "ANSI_932").upperAsRead("\xB1g"), "\xB1G");
    EXPECT_EQ(drawing("AC1015", "ANSI_950").upperAsRead("\xA4\x61x"), "\xA4\x61X");
    // Single-byte code pages and UTF-8: every ASCII letter.
    EXPECT_EQ(drawing("AC1015", "ANSI_1251").upperAsRead("\xC1olt"), "\xC1OLT");
    EXPECT_EQ(DrawingText().upperAsRead("t\xC3\xBCr"), "T\xC3\xBCR");
    EXPECT_EQ(drawing("AC1032", "ANSI_932").upperAsRead("\x83g"), "\x83G");
}

} // namespace kelvora
