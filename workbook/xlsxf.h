// The formatting tables of a workbook: fonts, number formats, extended formats (XF) and
// styles. Fonts and XFs are held as canonical key texts of upper-case hexadecimal fields;
// equal keys are the same format, and a change derives a new key instead of editing one.
#pragma once

#include "xlsblob.h"
#include "xlslist.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvora {

// BIFF8 record types.
inline constexpr std::uint16_t kFontRecordType = 0x0031;
inline constexpr std::uint16_t kFormatRecordType = 0x041E;
inline constexpr std::uint16_t kXfRecordType = 0x00E0;
inline constexpr std::uint16_t kStyleRecordType = 0x0293;

inline constexpr std::int32_t kFixedFontCount = 4;
inline constexpr std::int32_t kFixedXfCount = 21;
// The default cell XF; an XF number of 0 held by a cell, row or column stands for it.
inline constexpr std::int32_t kDefaultCellXf = 15;
// First number-format index free for user formats (BIFF8 reserves those below).
inline constexpr std::int32_t kFirstUserFormat = 164;
// 10-point "Arial", automatic colour, no attributes.
inline constexpr std::u16string_view kDefaultFontKey = u"00C87FFF0000000000000Arial";
inline constexpr std::int32_t kXfKeyLength = 43;

// The groups of an XF; the value is the group's bit in the used-attribute flags.
enum class TXLSXfGroup : std::uint8_t {
    NumberFormat = 0,
    Font = 1,
    Alignment = 2,
    Borders = 3,
    Pattern = 4,
    Protection = 5,
};

enum class TXLSFontField : std::uint8_t {
    Height, // value.real: points
    Color,  // value.number: colour entry; 0x7FFF or a negative number is automatic
    Bold,
    Italic,
    Strikeout,
    Outline,
    Shadow,
    Underline, // value.number: underline style
    Subscript,
    Superscript,
    Family,  // value.number
    CharSet, // value.number
    Name,    // value.text
};

// One change that DeriveXf applies to an XF.
enum class TXLSXfChange : std::uint8_t {
    Font,                // value.fontField and its value
    NumberFormat,        // value.text: the format text
    HorizontalAlignment, // value.number: 0..7
    VerticalAlignment,   // value.number: 0..7
    WrapText,            // value.number: 0 or 1
    Rotation,            // value.number: 0..255
    ShrinkToFit,         // value.number: 0 or 1
    FillColor,           // value.number: colour entry (colour number + 7), 0 none, 65 automatic
    Locked,              // value.number: 0 or 1
    Borders,             // value.edges, value.number: line style 0..15, value.color: entry
};

// Edges for TXLSXfChange::Borders, combinable.
enum TXLSBorderEdge : std::uint8_t {
    kEdgeLeft = 1,
    kEdgeRight = 2,
    kEdgeTop = 4,
    kEdgeBottom = 8,
    kEdgeDiagonalDown = 16,
    kEdgeDiagonalUp = 32,
};

struct TXLSXfValue {
    std::int32_t number = 0;
    double real = 0;
    std::u16string text;
    TXLSFontField fontField = TXLSFontField::Height;
    std::uint8_t edges = 0;
    std::int32_t color = 0;

    static TXLSXfValue Number(std::int32_t n);
    static TXLSXfValue Text(std::u16string_view t);
    static TXLSXfValue FontNumber(TXLSFontField field, std::int32_t n);
    static TXLSXfValue FontHeight(double points);
    static TXLSXfValue FontName(std::u16string_view name);
    static TXLSXfValue Border(std::uint8_t edges, std::int32_t lineStyle, std::int32_t color);
};

class TXLSFontList {
public:
    // Four fixed default fonts; the default key then reads as absent (index 0).
    TXLSFontList();

    // The font equal to font except for one field (the default font for a font outside the
    // table).
    std::int32_t DeriveFont(std::int32_t font, TXLSFontField field, const TXLSXfValue& value);
    const std::u16string& KeyAt(std::int32_t font) const { return list_.KeyAt(font); }
    TXLSKeyList& List() { return list_; }
    const TXLSKeyList& List() const { return list_; }

    // The font index records store (after compaction): output positions 1..4 give 0..3,
    // 5 and above are kept, so index 4 is never used.
    std::uint16_t FontIndexFor(std::int32_t font) const;
    // FONT record for output position i + 1; nullptr outside the output array.
    TXLSBlobPtr FontRecord(std::int32_t i) const;

private:
    TXLSKeyList list_;
};

class TXLSNumFormatList {
public:
    // User formats 5..8 preset, the built-in list filled, next free user index 164.
    TXLSNumFormatList();

    // The index of a format text: a user format, else a built-in one, else a new user format.
    std::int32_t FormatIndexFor(std::u16string_view text);
    // The text of a format index: the user text, else the built-in one, else empty.
    const std::u16string& FormatText(std::int32_t index) const;
    std::int32_t NextFreeIndex() const { return nextUser_; }
    // FORMAT record for a user format at index i; nullptr when i holds none.
    TXLSBlobPtr FormatRecord(std::int32_t i) const;

private:
    TXLSStringList user_;
    TXLSStringList builtIn_;
    std::int32_t nextUser_ = kFirstUserFormat;
};

class TXLSStyleEntry : public TXLSObjEntry {
public:
    // key: the built-in style number as two hex digits, or "XX" and the style name.
    TXLSStyleEntry(std::u16string key, std::int32_t xf) : TXLSObjEntry(std::move(key)), xf_(xf) {}
    std::int32_t Xf() const { return xf_; }
    bool IsBuiltIn() const;
    std::uint8_t BuiltInNumber() const; // 0 for a user-defined style
    std::u16string_view Name() const;   // empty for a built-in style

private:
    std::int32_t xf_;
};

class TXLSStyles : public TXLSObjList {
public:
    // Comma, Currency, Comma [0], Currency [0], Percent, Normal.
    TXLSStyles();
    // The style at order i (0-based), nullptr outside.
    const TXLSStyleEntry* Style(std::int32_t i) const;
};

class TXLSXFList {
public:
    // Styles, user formats 5..8, four fonts and the 21 fixed XFs.
    TXLSXFList();

    // The XF equal to xf (0 read as 15) with one change; release: the caller gives up its
    // reference to xf.
    std::int32_t DeriveXf(std::int32_t xf, TXLSXfChange change, const TXLSXfValue& value,
                          bool release);
    // The effective field text of a group of a cell XF (0 read as 15).
    std::u16string ResolveGroup(std::int32_t xf, TXLSXfGroup group) const;

    void AddReference(std::int32_t xf) { xfs_.AddReference(xf); }
    void MoveReference(std::int32_t oldXf, std::int32_t newXf) { xfs_.MoveReference(oldXf, newXf); }
    std::int32_t ReferenceCount(std::int32_t xf) const { return xfs_.ReferenceCount(xf); }
    const std::u16string& KeyAt(std::int32_t xf) const { return xfs_.KeyAt(xf); }
    std::int32_t Count() const { return xfs_.Count(); }

    // Compacts XFs and fonts to those written; once per save before any record is built.
    void PrepareForSave();
    // Valid after PrepareForSave: the XF index of an XF number (0 for 0 and below) and the
    // font index of a font number.
    std::uint16_t XfIndexFor(std::int32_t xf) const;
    std::uint16_t FontIndexFor(std::int32_t font) const { return fonts_.FontIndexFor(font); }

    // What the globals writer loops over, after PrepareForSave.
    std::int32_t FontRecordCount() const { return fonts_.List().OutputCount(); }
    std::int32_t XfRecordCount() const { return xfs_.OutputCount(); }
    std::int32_t NextFormatIndex() const { return formats_.NextFreeIndex(); }
    std::int32_t StyleCount() const { return styles_.Count(); }

    // Record builders: output position i + 1 for FONT and XF, format index i, style order i.
    // nullptr when there is nothing to write for i.
    TXLSBlobPtr FontRecord(std::int32_t i) const { return fonts_.FontRecord(i); }
    TXLSBlobPtr XfRecord(std::int32_t i) const;
    TXLSBlobPtr FormatRecord(std::int32_t i) const { return formats_.FormatRecord(i); }
    TXLSBlobPtr StyleRecord(std::int32_t i) const;

    TXLSFontList& Fonts() { return fonts_; }
    const TXLSFontList& Fonts() const { return fonts_; }
    TXLSNumFormatList& NumFormats() { return formats_; }
    const TXLSNumFormatList& NumFormats() const { return formats_; }
    const TXLSStyles& Styles() const { return styles_; }

private:
    TXLSStyles styles_;
    TXLSNumFormatList formats_;
    TXLSFontList fonts_;
    TXLSKeyList xfs_;
};

} // namespace kelvora
