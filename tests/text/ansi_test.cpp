// Texts without a code page: UTF-8 when the bytes are strict UTF-8, else Windows-1252.
#include "text/drawingtext.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

std::u16string utf16(std::string_view bytes) {
    std::u16string out = u"left over";
    utf16FromAnsi(bytes, out);
    return out;
}

TEST(Utf8Check, StrictForms) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("T\xC3\xBCr \xE2\x82\xAC \xF0\x9F\x9A\xAA"));
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));  // U+10FFFF
    EXPECT_TRUE(isValidUtf8("\xED\x9F\xBF"));      // U+D7FF, the last before the surrogates
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong '/'
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));     // overlong, three bytes
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("ab\xE2\x82"));       // cut short
    EXPECT_FALSE(isValidUtf8("\x80"));             // continuation without a lead
    EXPECT_FALSE(isValidUtf8("\xF8\x88\x80\x80\x80"));
}

TEST(AnsiText, Utf8WhenValidElseWindows1252) {
    EXPECT_EQ(utf8FromAnsi("T\xC3\xBCr \xE2\x82\xAC"), "T\xC3\xBCr \xE2\x82\xAC");
    // The five unassigned bytes keep their C1 code point.
    EXPECT_EQ(utf8FromAnsi("T\xFCr \x80 \x81 \x9F"), "T\xC3\xBCr \xE2\x82\xAC \xC2\x81 \xC5\xB8");
    EXPECT_EQ(utf8FromAnsi("\xC0\xAF"), "\xC3\x80\xC2\xAF");
}

TEST(AnsiText, ToUtf16) {
    EXPECT_EQ(utf16("T\xC3\xBCr \xE2\x82\xAC"), u"Tür €");
    EXPECT_EQ(utf16("\xF0\x9F\x9A\xAA"), u"\U0001F6AA");
    EXPECT_EQ(utf16("T\xFCr \x80 \x81"), u"Tür € \u0081");
    // Overlong forms, surrogates and truncated sequences are not UTF-8.
    EXPECT_EQ(utf16("\xC0\xAF"), u"\u00C0\u00AF");
    EXPECT_EQ(utf16("\xED\xA0\x80"), u"\u00ED\u00A0\u20AC");
    EXPECT_EQ(utf16("ab\xE2\x82"), u"ab\u00E2\u201A");
    // Valid UTF-8 before the fault does not stay in front of the Windows-1252 reading.
    EXPECT_EQ(utf16("\xC3\xBC\xFC"), u"\u00C3\u00BC\u00FC");
    EXPECT_EQ(utf16(""), u"");
}

} // namespace
} // namespace kelvora
