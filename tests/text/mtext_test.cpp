// The plain text of MTEXT contents, decoded and as read.
#include "text/drawingtext.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(MtextPlain, FormattingCodesGo) {
    const DrawingText text;
    EXPECT_EQ(text.decodeMtext("{\\fArial|b1|i0|c0|p34;Bolt}\\PM12"), "Bolt\nM12");
    EXPECT_EQ(
        text.decodeMtext("\\A1;\\H2.5x;\\C1;\\c255;\\T1.1;\\Q15;\\W0.8;\\pxqc;\\Fromans|c0;x"),
        "x");
    EXPECT_EQ(text.decodeMtext("{\\Lunder\\l} {\\Oover\\o} {\\Kstruck\\k}"), "under over struck");
    EXPECT_EQ(text.decodeMtext("{outer {inner {deepest}}}"), "outer inner deepest");
    EXPECT_EQ(text.decodeMtext("col 1\\Ncol 2"), "col 1\ncol 2");
    EXPECT_EQ(text.decodeMtext("a\\~b"), "a b");
}

TEST(MtextPlain, EscapedCharactersAndUnknownCodes) {
    const DrawingText text;
    EXPECT_EQ(text.decodeMtext("\\\\U+0041"), "\\U+0041");
    EXPECT_EQ(text.decodeMtext("\\U+0041\\{x\\}"), "A{x}");
    EXPECT_EQ(text.decodeMtext("C:\\\\dwg"), "C:\\dwg");
    // A backslash before anything else stays, with what follows it.
    EXPECT_EQ(text.decodeMtext("\\X\\n\\U+12 end\\"), "\\X\\n\\U+12 end\\");
    // A property code without its ';' is no code.
    EXPECT_EQ(text.decodeMtext("\\Hello"), "\\Hello");
}

TEST(MtextPlain, StackedText) {
    const DrawingText text;
    EXPECT_EQ(text.decodeMtext("1\\S1^2;\""), "11/2\"");
    EXPECT_EQ(text.decodeMtext("\\S3/4; \\S5#8; \\S+0.1^-0.2;"), "3/4 5/8 +0.1/-0.2");
    EXPECT_EQ(text.decodeMtext("\\Sx\\^y^z\\;w;"), "x^y/z;w"); // escaped separator and end
    EXPECT_EQ(text.decodeMtext("\\S1/2/3;"), "1/2/3");
    EXPECT_EQ(text.decodeMtext("\\Sabc;"), "abc");
    EXPECT_EQ(text.decodeMtext("\\S%%c1^2;"), "⌀1/2");
    EXPECT_EQ(text.decodeMtext("\\S1^2"), "\\S1^2"); // no ';'
}

TEST(MtextPlain, CodePageThenCodes) {
    DrawingText text;
    text.setHeader("AC1015", "ANSI_1251");
    EXPECT_EQ(text.decodeMtext("{\\fArial;\xC1\xEE\xEB\xF2}\\P%%c12\\~\\U+00D7\\~40"),
              "Болт\n⌀12 × 40");
    DrawingText japanese;
    japanese.setHeader("AC1015", "ANSI_932");
    // 0x5C as the second byte of a character is neither an escape nor a paragraph.
    EXPECT_EQ(japanese.decodeMtext("\x95\x5CP\\P\\M+1907D"), "表P\n図");
}

TEST(MtextPlain, AsReadKeepsBytesAndCodes) {
    EXPECT_EQ(plainMtextAsRead("{\\fArial;\xC1\xEE}\\P%%c\\U+0041\\\\"), "\xC1\xEE\n%%c\\U+0041\\");
    EXPECT_EQ(plainMtextAsRead("\\S1^2;\\~x"), "1/2 x");
    EXPECT_EQ(plainMtextAsRead(""), "");
}

} // namespace
} // namespace kelvora
