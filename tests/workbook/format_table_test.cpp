#include "record_walker.h"
#include "workbook/xlspalette.h"
#include "workbook/xlsxf.h"

#include <gtest/gtest.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes XfData(const TXLSXFList& xfs, std::int32_t i) {
    const Bytes record = BlobBytes(*xfs.XfRecord(i));
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 4), Hex("E0 00 14 00"));
    return Bytes(record.begin() + 4, record.end());
}

Bytes FormatRecordBytes(int index, const std::string& text) {
    const auto length = static_cast<std::uint8_t>(5 + 2 * text.size());
    Bytes record = {0x1E,
                    0x04,
                    length,
                    0x00,
                    static_cast<std::uint8_t>(index),
                    0x00,
                    static_cast<std::uint8_t>(text.size()),
                    0x00,
                    0x01};
    return Concat(record, Wide(text));
}

constexpr const char* kFillXf = "00 00 00 00 01 00 20 00 00 40 00 00 00 00 00 00 00 04 1A 20";
constexpr const char* kWrapXf = "00 00 00 00 01 00 28 00 00 10 00 00 00 00 00 00 00 00 C0 20";

} // namespace

TEST(FormatTables, NewWorkbookWritesTheDefaultRecords) {
    TXLSXFList xfs;
    xfs.PrepareForSave();

    ASSERT_EQ(xfs.FontRecordCount(), 4);
    const Bytes font =
        Concat(Hex("31 00 1A 00 C8 00 00 00 FF 7F 90 01 00 00 00 00 00 00 05 01"), Wide("Arial"));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(BlobBytes(*xfs.FontRecord(i)), font);
    EXPECT_EQ(xfs.FontRecord(4), nullptr);

    ASSERT_EQ(xfs.NextFormatIndex(), 164);
    std::vector<Bytes> formats;
    for (int i = 0; i < xfs.NextFormatIndex(); ++i)
        if (auto record = xfs.FormatRecord(i))
            formats.push_back(BlobBytes(*record));
    EXPECT_EQ(formats, (std::vector<Bytes>{
                           FormatRecordBytes(5, "(\"$\"#,##0_);(\"$\"#,##0)"),
                           FormatRecordBytes(6, "(\"$\"#,##0_);[Red](\"$\"#,##0)"),
                           FormatRecordBytes(7, "(\"$\"#,##0.00_);(\"$\"#,##0.00)"),
                           FormatRecordBytes(8, "(\"$\"#,##0.00_);[Red](\"$\"#,##0.00)"),
                       }));

    ASSERT_EQ(xfs.XfRecordCount(), 21);
    const std::string style = "00 00 00 00 F5 FF 20 00 00 D0 00 00 00 00 00 00 00 00 C0 20";
    const std::string styled = "01 00 %s 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20";
    EXPECT_EQ(XfData(xfs, 0), Hex("00 00 00 00 F5 FF 20 00 00 00 00 00 00 00 00 00 00 00 C0 20"));
    for (int i = 1; i <= 14; ++i)
        EXPECT_EQ(XfData(xfs, i), Hex(style)) << i;
    EXPECT_EQ(XfData(xfs, 15), Hex("00 00 00 00 01 00 20 00 00 00 00 00 00 00 00 00 00 00 C0 20"));
    const char* formatsOf16To20[] = {"2C", "2A", "09", "2B", "29"};
    for (int i = 16; i <= 20; ++i) {
        std::string expected = styled;
        expected.replace(expected.find("%s"), 2, formatsOf16To20[i - 16]);
        EXPECT_EQ(XfData(xfs, i), Hex(expected)) << i;
    }

    ASSERT_EQ(xfs.StyleCount(), 6);
    const char* styles[] = {"93 02 04 00 13 80 03 FF", "93 02 04 00 10 80 04 FF",
                            "93 02 04 00 14 80 06 FF", "93 02 04 00 11 80 07 FF",
                            "93 02 04 00 12 80 05 FF", "93 02 04 00 00 80 00 FF"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(BlobBytes(*xfs.StyleRecord(i)), Hex(styles[i])) << i;
    EXPECT_EQ(xfs.StyleRecord(6), nullptr);

    EXPECT_EQ(xfs.XfIndexFor(0), 0);
    EXPECT_EQ(xfs.XfIndexFor(15), 15);
}

TEST(FormatTables, FillColourOnARowAndItsCellSharesOneNewXf) {
    TXLSXFList xfs;
    const TXLSXfValue fill = TXLSXfValue::Number(19 + kColorNumberOffset);
    const std::int32_t row = xfs.DeriveXf(0, TXLSXfChange::FillColor, fill, false);
    const std::int32_t cell = xfs.DeriveXf(0, TXLSXfChange::FillColor, fill, false);
    EXPECT_EQ(row, 21);
    EXPECT_EQ(cell, row);
    EXPECT_EQ(xfs.Count(), 22);
    EXPECT_EQ(xfs.ReferenceCount(row), 2);
    const std::u16string base = xfs.KeyAt(kDefaultCellXf);
    EXPECT_EQ(xfs.KeyAt(row), base.substr(0, 35) + u"01201A10");
    xfs.PrepareForSave();
    EXPECT_EQ(xfs.XfRecordCount(), 22);
    EXPECT_EQ(xfs.XfIndexFor(row), 21);
    EXPECT_EQ(XfData(xfs, 21), Hex(kFillXf));
}

TEST(FormatTables, WrapTextAndFillChangesFollowTheEffectiveValues) {
    TXLSXFList xfs;
    const std::int32_t wrap =
        xfs.DeriveXf(0, TXLSXfChange::WrapText, TXLSXfValue::Number(1), false);
    std::u16string expected = xfs.KeyAt(kDefaultCellXf);
    expected.replace(13, 2, u"28");
    expected.replace(41, 2, u"04");
    EXPECT_EQ(xfs.KeyAt(wrap), expected);
    xfs.PrepareForSave();
    EXPECT_EQ(XfData(xfs, 21), Hex(kWrapXf));

    // Fill on top of wrap keeps the wrap; a second colour on a solid fill keeps background.
    const std::int32_t both =
        xfs.DeriveXf(wrap, TXLSXfChange::FillColor, TXLSXfValue::Number(10), true);
    expected.replace(35, 8, u"01200A14");
    EXPECT_EQ(xfs.KeyAt(both), expected);
    const std::int32_t recolored =
        xfs.DeriveXf(both, TXLSXfChange::FillColor, TXLSXfValue::Number(12), true);
    EXPECT_EQ(xfs.ResolveGroup(recolored, TXLSXfGroup::Pattern), u"01200C");
    EXPECT_EQ(xfs.ResolveGroup(recolored, TXLSXfGroup::Alignment), u"280000");
    // No fill: pattern 0, system colours.
    const std::int32_t none =
        xfs.DeriveXf(recolored, TXLSXfChange::FillColor, TXLSXfValue::Number(0), true);
    EXPECT_EQ(xfs.ResolveGroup(none, TXLSXfGroup::Pattern), u"0020C0");
    // The references moved along: only the last XF is in use.
    EXPECT_EQ(xfs.ReferenceCount(wrap), 0);
    EXPECT_EQ(xfs.ReferenceCount(none), 1);
    // A fill on a patterned (non-solid) XF sets the background colour only.
    TXLSXFList other;
    const std::int32_t gray =
        other.DeriveXf(0, TXLSXfChange::FillColor, TXLSXfValue::Number(9), false);
    EXPECT_EQ(other.ResolveGroup(gray, TXLSXfGroup::Pattern), u"012009");
}

TEST(FormatTables, UnusedXfIsNotWrittenAndLaterOnesMoveDown) {
    TXLSXFList xfs;
    const std::int32_t a = xfs.DeriveXf(0, TXLSXfChange::FillColor, TXLSXfValue::Number(10), false);
    const std::int32_t b = xfs.DeriveXf(0, TXLSXfChange::FillColor, TXLSXfValue::Number(11), false);
    xfs.PrepareForSave();
    EXPECT_EQ(xfs.XfIndexFor(b), 22);
    xfs.MoveReference(a, 0);
    xfs.PrepareForSave();
    EXPECT_EQ(xfs.XfRecordCount(), 22);
    EXPECT_EQ(xfs.XfIndexFor(b), 21);
    EXPECT_EQ(XfData(xfs, 21)[19], 0x20);
    EXPECT_EQ(XfData(xfs, 21)[18], 0x0B);
}

TEST(FormatTables, FifthFontIsWrittenFifthAndReferredToAsFontFive) {
    TXLSXFList xfs;
    const std::int32_t bold =
        xfs.DeriveXf(0, TXLSXfChange::Font, TXLSXfValue::FontNumber(TXLSFontField::Bold, 1), false);
    EXPECT_EQ(xfs.KeyAt(bold).substr(0, 4), u"0004");
    xfs.PrepareForSave();
    ASSERT_EQ(xfs.FontRecordCount(), 5);
    EXPECT_EQ(
        BlobBytes(*xfs.FontRecord(4)),
        Concat(Hex("31 00 1A 00 C8 00 00 00 FF 7F BC 02 00 00 00 00 00 00 05 01"), Wide("Arial")));
    EXPECT_EQ(xfs.FontIndexFor(4), 5);
    EXPECT_EQ(XfData(xfs, 21)[0], 5);
    EXPECT_EQ(XfData(xfs, 21)[9] & 0x08, 0x08); // font flag ((bit 1) << 2)

    // A font no written XF uses is not written.
    xfs.MoveReference(bold, 0);
    xfs.PrepareForSave();
    EXPECT_EQ(xfs.FontRecordCount(), 4);
    EXPECT_EQ(xfs.FontIndexFor(4), 0);
}

TEST(FormatTables, FontFieldsReachTheFontRecord) {
    TXLSFontList fonts;
    std::int32_t f = fonts.DeriveFont(0, TXLSFontField::Height, TXLSXfValue::FontHeight(1.125));
    f = fonts.DeriveFont(f, TXLSFontField::Italic,
                         TXLSXfValue::FontNumber(TXLSFontField::Italic, 1));
    f = fonts.DeriveFont(f, TXLSFontField::Shadow,
                         TXLSXfValue::FontNumber(TXLSFontField::Shadow, 1));
    f = fonts.DeriveFont(f, TXLSFontField::Subscript,
                         TXLSXfValue::FontNumber(TXLSFontField::Subscript, 1));
    f = fonts.DeriveFont(f, TXLSFontField::Underline,
                         TXLSXfValue::FontNumber(TXLSFontField::Underline, 0x21));
    f = fonts.DeriveFont(f, TXLSFontField::Color,
                         TXLSXfValue::FontNumber(TXLSFontField::Color, 10));
    f = fonts.DeriveFont(f, TXLSFontField::Name, TXLSXfValue::FontName(u"Tahoma"));
    // Height 22.5 twips rounds to even: 22 (16 hexadecimal).
    EXPECT_EQ(fonts.KeyAt(f), u"0016000A0100121100000Tahoma");
    const std::int32_t small =
        fonts.DeriveFont(0, TXLSFontField::Height, TXLSXfValue::FontHeight(0.375));
    EXPECT_EQ(fonts.KeyAt(small).substr(0, 4), u"0008"); // 7.5 twips: to even
    fonts.List().AddReference(f);
    fonts.List().Compact();
    const std::int32_t pos = fonts.List().OutputPosition(f) - 1;
    EXPECT_EQ(
        BlobBytes(*fonts.FontRecord(pos)),
        Concat(Hex("31 00 1C 00 16 00 22 00 0A 00 90 01 02 00 21 00 00 00 06 01"), Wide("Tahoma")));
}

TEST(FormatTables, RemainingFontFieldsHaveTheirOwnPositions) {
    TXLSFontList fonts;
    std::int32_t f = 0;
    for (TXLSFontField field :
         {TXLSFontField::Strikeout, TXLSFontField::Outline, TXLSFontField::Superscript})
        f = fonts.DeriveFont(f, field, TXLSXfValue::FontNumber(field, 1));
    f = fonts.DeriveFont(f, TXLSFontField::Family,
                         TXLSXfValue::FontNumber(TXLSFontField::Family, 2));
    f = fonts.DeriveFont(f, TXLSFontField::CharSet,
                         TXLSXfValue::FontNumber(TXLSFontField::CharSet, 0xEE));
    EXPECT_EQ(fonts.KeyAt(f), u"00C87FFF00110000102EEArial");
    fonts.List().AddReference(f);
    fonts.List().Compact();
    EXPECT_EQ(
        BlobBytes(*fonts.FontRecord(fonts.List().OutputPosition(f) - 1)),
        Concat(Hex("31 00 1A 00 C8 00 18 00 FF 7F 90 01 01 00 00 02 EE 00 05 01"), Wide("Arial")));
}

TEST(FormatTables, SetAndResetOfAFontAttributeAppendsADefaultDuplicate) {
    TXLSFontList fonts;
    const std::int32_t bold =
        fonts.DeriveFont(0, TXLSFontField::Bold, TXLSXfValue::FontNumber(TXLSFontField::Bold, 1));
    const std::int32_t back = fonts.DeriveFont(bold, TXLSFontField::Bold,
                                               TXLSXfValue::FontNumber(TXLSFontField::Bold, 0));
    EXPECT_NE(back, 0);
    EXPECT_EQ(fonts.KeyAt(back), kDefaultFontKey);
    EXPECT_EQ(fonts.List().ReferenceCount(bold), 0);
}

TEST(FormatTables, NumberFormatIndexes) {
    TXLSXFList xfs;
    TXLSNumFormatList& formats = xfs.NumFormats();
    EXPECT_EQ(formats.FormatIndexFor(u"General"), 0);
    EXPECT_EQ(formats.FormatIndexFor(u"0.00"), 2);
    EXPECT_EQ(formats.FormatIndexFor(u"_(\"$\"* #,##0_);_(\"$\"* (#,##0);_(\"$\"* \"-\"_);_(@_)"),
              42);
    EXPECT_EQ(formats.FormatIndexFor(u"(\"$\"#,##0_);(\"$\"#,##0)"), 5);
    EXPECT_EQ(formats.NextFreeIndex(), 164);
    EXPECT_EQ(formats.FormatIndexFor(u"0.000"), 164);
    EXPECT_EQ(formats.FormatIndexFor(u"0.0000"), 165);
    EXPECT_EQ(formats.FormatIndexFor(u"0.000"), 164);
    EXPECT_EQ(formats.FormatText(165), u"0.0000");
    EXPECT_EQ(formats.FormatText(14), u"M/D/YY");
    xfs.PrepareForSave();
    EXPECT_EQ(BlobBytes(*xfs.FormatRecord(164)), FormatRecordBytes(164, "0.000"));
    EXPECT_NE(xfs.FormatRecord(165), nullptr); // written though no XF uses it
    EXPECT_EQ(xfs.FormatRecord(2), nullptr);   // built-in formats are not written
    EXPECT_EQ(xfs.FormatRecord(100), nullptr);

    const std::int32_t xf =
        xfs.DeriveXf(0, TXLSXfChange::NumberFormat, TXLSXfValue::Text(u"0.000"), false);
    EXPECT_EQ(xfs.KeyAt(xf).substr(4, 4), u"00A4");
    EXPECT_EQ(xfs.ResolveGroup(xf, TXLSXfGroup::NumberFormat), u"00A4");
    EXPECT_EQ(xfs.ResolveGroup(0, TXLSXfGroup::NumberFormat), u"0000");
}

TEST(FormatTables, OtherGroupsSetTheirBitsAndFlags) {
    TXLSXFList xfs;
    std::int32_t xf =
        xfs.DeriveXf(0, TXLSXfChange::HorizontalAlignment, TXLSXfValue::Number(2), false);
    xf = xfs.DeriveXf(xf, TXLSXfChange::VerticalAlignment, TXLSXfValue::Number(1), true);
    xf = xfs.DeriveXf(xf, TXLSXfChange::Rotation, TXLSXfValue::Number(90), true);
    xf = xfs.DeriveXf(xf, TXLSXfChange::ShrinkToFit, TXLSXfValue::Number(1), true);
    xf = xfs.DeriveXf(xf, TXLSXfChange::Locked, TXLSXfValue::Number(0), true);
    xf = xfs.DeriveXf(xf, TXLSXfChange::Borders, TXLSXfValue::Border(kEdgeLeft | kEdgeBottom, 1, 8),
                      true);
    EXPECT_EQ(xfs.ResolveGroup(xf, TXLSXfGroup::Alignment), u"125A10");
    EXPECT_EQ(xfs.ResolveGroup(xf, TXLSXfGroup::Protection), u"0");
    EXPECT_EQ(xfs.ResolveGroup(xf, TXLSXfGroup::Borders), u"0008100100000400");
    EXPECT_EQ(xfs.KeyAt(xf).substr(41), u"2C");
    EXPECT_EQ(xfs.Count(), 27);
    EXPECT_EQ(xfs.ReferenceCount(xf), 1);
}

TEST(Palette, DefaultTableRecordAndNearestColour) {
    TXLSPalette palette;
    EXPECT_EQ(palette.Entry(26), 0xFFFFCCu);
    EXPECT_EQ(palette.Entry(0), palette.Entry(8));
    EXPECT_EQ(palette.Entry(7), 0x00FFFFu);
    EXPECT_EQ(palette.Entry(63), 0x333333u);
    const Bytes record = BlobBytes(*palette.PaletteRecord());
    ASSERT_EQ(record.size(), 4u + 226);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 6), Hex("92 00 E2 00 38 00"));
    EXPECT_EQ(Bytes(record.begin() + 6, record.begin() + 14), Hex("00 00 00 00 FF FF FF 00"));
    EXPECT_EQ(Bytes(record.begin() + 6 + 18 * 4, record.begin() + 6 + 19 * 4), Hex("FF FF CC 00"));

    EXPECT_EQ(palette.NearestColor(0xFFFFCC), 19);
    EXPECT_EQ(palette.NearestColor(0x000001), 1);
    // 0x800040 is 64 away from both 800000 (9) and 800080 (13): the lower number wins.
    EXPECT_EQ(palette.NearestColor(0x800040), 9);

    palette.SetColor(56, 0x123456);
    EXPECT_EQ(palette.Entry(63), 0x123456u);
    EXPECT_EQ(palette.NearestColor(0x123456), 56);
    palette.SetColor(57, 0xFFFFFF);
    palette.SetColor(0, 0xFFFFFF);
    EXPECT_EQ(palette.Entry(7), 0x00FFFFu);
}
