#include "xlsxf.h"

#include "xlspalette.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kelvora {
namespace {

// Field offsets (0-based) and widths of an XF key text.
struct KeyField {
    std::size_t pos;
    std::size_t width;
};
constexpr KeyField kXfFont{0, 4};
constexpr KeyField kXfFormat{4, 4};
constexpr KeyField kXfProtection{8, 1};
constexpr KeyField kXfParent{9, 4};
constexpr KeyField kXfAlignment{13, 6}; // alignment byte, rotation, indent/shrink byte
constexpr KeyField kXfAlignByte{13, 2};
constexpr KeyField kXfRotation{15, 2};
constexpr KeyField kXfIndentByte{17, 2};
constexpr KeyField kXfBorders{19, 16};
constexpr KeyField kXfBorder1{19, 8};
constexpr KeyField kXfBorder2{27, 8};
constexpr KeyField kXfPattern{35, 6}; // fill pattern, pattern colour word
constexpr KeyField kXfFillPattern{35, 2};
constexpr KeyField kXfPatternColors{37, 4};
constexpr KeyField kXfFlags{41, 2};

// Field offsets of a font key text; the name takes the rest.
constexpr KeyField kFontHeight{0, 4};
constexpr KeyField kFontColor{4, 4};
constexpr KeyField kFontBold{8, 1};
constexpr KeyField kFontItalic{9, 1};
constexpr KeyField kFontStrikeout{10, 1};
constexpr KeyField kFontOutline{11, 1};
constexpr KeyField kFontShadow{12, 1};
constexpr KeyField kFontUnderline{13, 2};
constexpr KeyField kFontSubscript{15, 1};
constexpr KeyField kFontSuperscript{16, 1};
constexpr KeyField kFontFamily{17, 2};
constexpr KeyField kFontCharSet{19, 2};
constexpr std::size_t kFontName = 21;
// The fixed fields in the order of TXLSFontField.
constexpr KeyField kFontFields[] = {
    kFontHeight, kFontColor,     kFontBold,      kFontItalic,      kFontStrikeout, kFontOutline,
    kFontShadow, kFontUnderline, kFontSubscript, kFontSuperscript, kFontFamily,    kFontCharSet,
};
static_assert(std::size(kFontFields) == static_cast<std::size_t>(TXLSFontField::Name));

constexpr KeyField GroupField(TXLSXfGroup group) {
    switch (group) {
    case TXLSXfGroup::NumberFormat:
        return kXfFormat;
    case TXLSXfGroup::Font:
        return kXfFont;
    case TXLSXfGroup::Alignment:
        return kXfAlignment;
    case TXLSXfGroup::Borders:
        return kXfBorders;
    case TXLSXfGroup::Pattern:
        return kXfPattern;
    case TXLSXfGroup::Protection:
        return kXfProtection;
    }
    return kXfFormat;
}

std::u16string Hex(std::uint32_t value, std::size_t width) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text(width, u'0');
    for (std::size_t i = width; i-- > 0; value >>= 4)
        text[i] = kDigits[value & 0xF];
    return text;
}

std::uint32_t ParseHex(std::u16string_view text) {
    std::uint32_t value = 0;
    for (char16_t c : text) {
        std::uint32_t digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        value = value * 16 + digit;
    }
    return value;
}

std::u16string_view Field(std::u16string_view key, KeyField f) {
    if (f.pos >= key.size())
        return {};
    return key.substr(f.pos, f.width);
}

std::uint32_t FieldValue(std::u16string_view key, KeyField f) {
    return ParseHex(Field(key, f));
}

void SetField(std::u16string& key, KeyField f, std::uint32_t value) {
    if (key.size() < f.pos + f.width)
        key.resize(f.pos + f.width, u'0');
    key.replace(f.pos, f.width, Hex(value, f.width));
}

std::uint32_t Clamp(std::int32_t value, std::uint32_t maximum) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, maximum));
}

TXLSBlobPtr NewRecord(std::uint16_t type, std::uint32_t length) {
    auto record = TXLSBlob::Create(kRecordHeaderSize + length);
    record->AddWord(type);
    record->AddWord(static_cast<std::uint16_t>(length));
    return record;
}

constexpr std::u16string_view kDefaultXfKeys[kFixedXfCount] = {
    u"000000001FFFF20000000000000000000000020C000", // Normal style
    u"000000001FFFF20000000000000000000000020C0F4", // style XFs 1-14
    u"000000001FFFF20000000000000000000000020C0F4", u"000000001FFFF20000000000000000000000020C0F4",
    u"000000001FFFF20000000000000000000000020C0F4", u"000000001FFFF20000000000000000000000020C0F4",
    u"000000001FFFF20000000000000000000000020C0F4", u"000000001FFFF20000000000000000000000020C0F4",
    u"000000001FFFF20000000000000000000000020C0F4", u"000000001FFFF20000000000000000000000020C0F4",
    u"000000001FFFF20000000000000000000000020C0F4", u"000000001FFFF20000000000000000000000020C0F4",
    u"000000001FFFF20000000000000000000000020C0F4", u"000000001FFFF20000000000000000000000020C0F4",
    u"000000001FFFF20000000000000000000000020C0F4",
    u"000000001000020000000000000000000000020C000", // default cell XF
    u"0001002C50FFF20000000000000000000000020C03E", // Currency
    u"0001002A50FFF20000000000000000000000020C03E", // Currency [0]
    u"0001000950FFF20000000000000000000000020C03E", // Percent
    u"0001002B50FFF20000000000000000000000020C03E", // Comma
    u"0001002950FFF20000000000000000000000020C03E", // Comma [0]
};

struct IndexedText {
    std::int32_t index;
    std::u16string_view text;
};

constexpr IndexedText kPresetUserFormats[] = {
    {5, u"(\"$\"#,##0_);(\"$\"#,##0)"},
    {6, u"(\"$\"#,##0_);[Red](\"$\"#,##0)"},
    {7, u"(\"$\"#,##0.00_);(\"$\"#,##0.00)"},
    {8, u"(\"$\"#,##0.00_);[Red](\"$\"#,##0.00)"},
};

// BIFF8 built-in number formats; 42 repeats 41's text and wins its lookup.
constexpr IndexedText kBuiltInFormats[] = {
    {0, u"General"},
    {1, u"0"},
    {2, u"0.00"},
    {3, u"#,##0"},
    {4, u"#,##0.00"},
    {5, u"\"$\"#,##0_);(\"$\"#,##0)"},
    {6, u"\"$\"#,##0_);[Red](\"$\"#,##0)"},
    {7, u"\"$\"#,##0.00_);(\"$\"#,##0.00)"},
    {8, u"\"$\"#,##0.00_);[Red](\"$\"#,##0.00)"},
    {9, u"0%"},
    {10, u"0.00%"},
    {11, u"0.00E+00"},
    {12, u"# ?/?"},
    {13, u"# ?\?/?\?"},
    {14, u"M/D/YY"},
    {15, u"D-MM-YY"},
    {16, u"D-MMM"},
    {17, u"MMM-YY"},
    {18, u"h:mm AM/PM"},
    {19, u"h:mm:ss AM/PM"},
    {20, u"h:mm"},
    {21, u"h:mm:ss"},
    {22, u"M/D/YY h:mm"},
    {37, u"_(#,##0_);(#,##0)"},
    {38, u"_(#,##0_);[Red](#,##0)"},
    {39, u"_(#,##0.00_);(#,##0.00)"},
    {40, u"_(#,##0.00_);[Red](#,##0.00)"},
    {41, u"_(\"$\"* #,##0_);_(\"$\"* (#,##0);_(\"$\"* \"-\"_);_(@_)"},
    {42, u"_(\"$\"* #,##0_);_(\"$\"* (#,##0);_(\"$\"* \"-\"_);_(@_)"},
    {43, u"_(\"$\"* #,##0.00_);_(\"$\"* (#,##0.00);_(\"$\"* \"-\"?\?_);_(@_)"},
    {44, u"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"?\?_);_(@_)"},
    {45, u"mm:ss"},
    {46, u"[h]:mm:ss"},
    {47, u"mm:ss.0"},
    {48, u"##0.0E+0"},
    {49, u"@"},
};

struct DefaultStyle {
    std::u16string_view key;
    std::int32_t xf;
};
constexpr DefaultStyle kDefaultStyles[] = {
    {u"03", 19}, // Comma
    {u"04", 16}, // Currency
    {u"06", 20}, // Comma [0]
    {u"07", 17}, // Currency [0]
    {u"05", 18}, // Percent
    {u"00", 0},  // Normal
};
constexpr std::u16string_view kUserStylePrefix = u"XX";

// Upper bounds of the bytes and words records carry.
constexpr std::uint32_t kByteMax = 0xFF;
constexpr std::uint32_t kWordMax = 0xFFFF;

} // namespace

TXLSXfValue TXLSXfValue::Number(std::int32_t n) {
    TXLSXfValue v;
    v.number = n;
    return v;
}

TXLSXfValue TXLSXfValue::Text(std::u16string_view t) {
    TXLSXfValue v;
    v.text = std::u16string(t);
    return v;
}

TXLSXfValue TXLSXfValue::FontNumber(TXLSFontField field, std::int32_t n) {
    TXLSXfValue v = Number(n);
    v.fontField = field;
    return v;
}

TXLSXfValue TXLSXfValue::FontHeight(double points) {
    TXLSXfValue v;
    v.fontField = TXLSFontField::Height;
    v.real = points;
    return v;
}

TXLSXfValue TXLSXfValue::FontName(std::u16string_view name) {
    TXLSXfValue v = Text(name);
    v.fontField = TXLSFontField::Name;
    return v;
}

TXLSXfValue TXLSXfValue::Border(std::uint8_t edges, std::int32_t lineStyle, std::int32_t color) {
    TXLSXfValue v = Number(lineStyle);
    v.edges = edges;
    v.color = color;
    return v;
}

// ---- fonts ----

TXLSFontList::TXLSFontList() : list_(0, kFixedFontCount, std::u16string(kDefaultFontKey)) {
    for (std::int32_t i = 0; i < kFixedFontCount; ++i)
        list_.SetEntry(i, kDefaultFontKey);
    list_.SetKeyIndex(kDefaultFontKey, 0);
}

std::int32_t TXLSFontList::DeriveFont(std::int32_t font, TXLSFontField field,
                                      const TXLSXfValue& value) {
    std::u16string key = list_.KeyAt(font);
    if (field == TXLSFontField::Name) {
        key.resize(kFontName, u'0');
        key += value.text;
        return list_.FindOrReplace(font, key);
    }
    const KeyField f = kFontFields[static_cast<std::size_t>(field)];
    std::uint32_t v;
    if (field == TXLSFontField::Height) {
        // Twips, rounded to the nearest integer with halves to even.
        const double twips = std::nearbyint(value.real * 20);
        v = twips <= 0 ? 0 : twips >= kWordMax ? kWordMax : static_cast<std::uint32_t>(twips);
    } else if (field == TXLSFontField::Color) {
        v = value.number < 0 ? kAutomaticFontColor : Clamp(value.number, kWordMax);
    } else if (f.width == 1) {
        v = value.number != 0 ? 1 : 0; // attribute flags
    } else {
        v = Clamp(value.number, kByteMax); // underline style, family, character set
    }
    SetField(key, f, v);
    return list_.FindOrReplace(font, key);
}

std::uint16_t TXLSFontList::FontIndexFor(std::int32_t font) const {
    const std::int32_t p = list_.OutputPosition(font);
    if (p <= 0)
        return 0;
    // Font index 4 is reserved in BIFF: the fifth font written is font 5.
    return static_cast<std::uint16_t>(p <= kFixedFontCount ? p - 1 : p);
}

TXLSBlobPtr TXLSFontList::FontRecord(std::int32_t i) const {
    const std::int32_t font = list_.OutputIndex(i);
    if (font < 0)
        return nullptr;
    const std::u16string& key = list_.KeyAt(font);
    const std::u16string_view name =
        std::u16string_view(key).substr(std::min(key.size(), kFontName), kByteMax);
    auto record = NewRecord(kFontRecordType, 16 + 2 * static_cast<std::uint32_t>(name.size()));
    record->AddWord(static_cast<std::uint16_t>(FieldValue(key, kFontHeight)));
    record->AddWord(static_cast<std::uint16_t>(
        FieldValue(key, kFontItalic) << 1 | FieldValue(key, kFontStrikeout) << 3 |
        FieldValue(key, kFontOutline) << 4 | FieldValue(key, kFontShadow) << 5));
    const std::uint32_t color = FieldValue(key, kFontColor);
    record->AddWord(static_cast<std::uint16_t>(color == 0 ? kAutomaticFontColor : color));
    record->AddWord(FieldValue(key, kFontBold) == 1 ? 700 : 400);
    record->AddWord(static_cast<std::uint16_t>(FieldValue(key, kFontSuperscript) +
                                               2 * FieldValue(key, kFontSubscript)));
    record->AddByte(static_cast<std::uint8_t>(FieldValue(key, kFontUnderline)));
    record->AddByte(static_cast<std::uint8_t>(FieldValue(key, kFontFamily)));
    record->AddByte(static_cast<std::uint8_t>(FieldValue(key, kFontCharSet)));
    record->AddByte(0);
    record->AddByte(static_cast<std::uint8_t>(name.size()));
    record->AddByte(1); // UTF-16LE characters
    record->AddWideText(name);
    return record;
}

// ---- number formats ----

TXLSNumFormatList::TXLSNumFormatList() {
    for (const auto& f : kPresetUserFormats)
        user_.Put(f.index, f.text);
    for (const auto& f : kBuiltInFormats)
        builtIn_.Put(f.index, f.text);
}

namespace {
// Whether list holds a text that was put at index (not a gap).
bool Holds(const TXLSStringList& list, std::int32_t index) {
    const std::u16string& text = list.Get(index);
    return list.Contains(text) && list.IndexOf(text) == index;
}
} // namespace

std::int32_t TXLSNumFormatList::FormatIndexFor(std::u16string_view text) {
    if (user_.Contains(text))
        return user_.IndexOf(text);
    if (builtIn_.Contains(text))
        return builtIn_.IndexOf(text);
    const std::int32_t index = nextUser_++;
    user_.Put(index, text);
    return index;
}

const std::u16string& TXLSNumFormatList::FormatText(std::int32_t index) const {
    return Holds(user_, index) ? user_.Get(index) : builtIn_.Get(index);
}

TXLSBlobPtr TXLSNumFormatList::FormatRecord(std::int32_t i) const {
    if (!Holds(user_, i))
        return nullptr;
    const std::u16string_view text = std::u16string_view(user_.Get(i)).substr(0, kWordMax);
    auto record = NewRecord(kFormatRecordType, 5 + 2 * static_cast<std::uint32_t>(text.size()));
    record->AddWord(static_cast<std::uint16_t>(i));
    record->AddWord(static_cast<std::uint16_t>(text.size()));
    record->AddByte(1); // UTF-16LE characters
    record->AddWideText(text);
    return record;
}

// ---- styles ----

bool TXLSStyleEntry::IsBuiltIn() const {
    return !Key().starts_with(kUserStylePrefix);
}

std::uint8_t TXLSStyleEntry::BuiltInNumber() const {
    return IsBuiltIn() ? static_cast<std::uint8_t>(ParseHex(Key())) : 0;
}

std::u16string_view TXLSStyleEntry::Name() const {
    return IsBuiltIn() ? std::u16string_view() : std::u16string_view(Key()).substr(2);
}

TXLSStyles::TXLSStyles() : TXLSObjList(0) {
    for (const auto& s : kDefaultStyles)
        Add(std::make_unique<TXLSStyleEntry>(std::u16string(s.key), s.xf));
}

const TXLSStyleEntry* TXLSStyles::Style(std::int32_t i) const {
    return static_cast<const TXLSStyleEntry*>(Item(Base() + i));
}

// ---- XFs ----

TXLSXFList::TXLSXFList() : xfs_(0, kFixedXfCount, std::u16string(kDefaultXfKeys[kDefaultCellXf])) {
    for (std::int32_t i = 0; i < kFixedXfCount; ++i)
        xfs_.SetEntry(i, kDefaultXfKeys[i]);
}

std::u16string TXLSXFList::ResolveGroup(std::int32_t xf, TXLSXfGroup group) const {
    const std::int32_t k = xf == 0 ? kDefaultCellXf : xf;
    const KeyField field = GroupField(group);
    const std::uint32_t bit = 1u << static_cast<unsigned>(group);
    const std::u16string& own = xfs_.KeyAt(k);
    if (FieldValue(own, kXfFlags) & bit)
        return std::u16string(Field(own, field));
    const std::u16string& parent =
        xfs_.KeyAt(static_cast<std::int32_t>(FieldValue(own, kXfParent)));
    if (FieldValue(parent, kXfFlags) & bit)
        return std::u16string(Field(own, field));
    return std::u16string(Field(parent, field));
}

std::int32_t TXLSXFList::DeriveXf(std::int32_t xf, TXLSXfChange change, const TXLSXfValue& value,
                                  bool release) {
    const std::int32_t k = xf == 0 ? kDefaultCellXf : xf;
    std::u16string key = xfs_.KeyAt(k);
    TXLSXfGroup group = TXLSXfGroup::Alignment;
    const auto setBit = [&](KeyField f, std::uint32_t bit, bool on) {
        std::uint32_t v = FieldValue(key, f);
        SetField(key, f, on ? v | bit : v & ~bit);
    };
    const auto setBits = [&](KeyField f, std::uint32_t mask, std::uint32_t shift,
                             std::uint32_t bits) {
        const std::uint32_t v = FieldValue(key, f);
        SetField(key, f, (v & ~(mask << shift)) | ((bits & mask) << shift));
    };
    // Groups with sub-fields start from the effective text, taken over into this XF.
    const auto takeEffective = [&](TXLSXfGroup g) {
        group = g;
        const KeyField f = GroupField(g);
        key.replace(f.pos, f.width, ResolveGroup(k, g));
    };

    switch (change) {
    case TXLSXfChange::Font: {
        group = TXLSXfGroup::Font;
        const auto font = static_cast<std::int32_t>(ParseHex(ResolveGroup(k, group)));
        SetField(key, kXfFont, Clamp(fonts_.DeriveFont(font, value.fontField, value), kWordMax));
        break;
    }
    case TXLSXfChange::NumberFormat:
        group = TXLSXfGroup::NumberFormat;
        SetField(key, kXfFormat, Clamp(formats_.FormatIndexFor(value.text), kWordMax));
        break;
    case TXLSXfChange::HorizontalAlignment:
        takeEffective(TXLSXfGroup::Alignment);
        setBits(kXfAlignByte, 0x7, 0, static_cast<std::uint32_t>(value.number));
        break;
    case TXLSXfChange::WrapText:
        takeEffective(TXLSXfGroup::Alignment);
        setBit(kXfAlignByte, 0x8, value.number != 0);
        break;
    case TXLSXfChange::VerticalAlignment:
        takeEffective(TXLSXfGroup::Alignment);
        setBits(kXfAlignByte, 0x7, 4, static_cast<std::uint32_t>(value.number));
        break;
    case TXLSXfChange::Rotation:
        takeEffective(TXLSXfGroup::Alignment);
        SetField(key, kXfRotation, Clamp(value.number, kByteMax));
        break;
    case TXLSXfChange::ShrinkToFit:
        takeEffective(TXLSXfGroup::Alignment);
        setBit(kXfIndentByte, 0x10, value.number != 0);
        break;
    case TXLSXfChange::FillColor: {
        takeEffective(TXLSXfGroup::Pattern);
        const std::uint32_t c = static_cast<std::uint32_t>(value.number) & 0x7F;
        const std::uint32_t fill = FieldValue(key, kXfFillPattern) & 0x7F;
        const std::uint32_t word = FieldValue(key, kXfPatternColors);
        std::uint32_t fg = word & 0x7F;
        std::uint32_t bg = (word >> 7) & 0x7F;
        std::uint32_t newFill = fill;
        if (c == 0) {
            newFill = 0;
            fg = kSystemForegroundColor;
            bg = kSystemBackgroundColor;
        } else if (fill == 0) {
            newFill = 1; // solid
            bg = fg;
            fg = c;
        } else if (fill == 1) {
            fg = c;
        } else {
            bg = c;
        }
        SetField(key, kXfFillPattern, newFill);
        SetField(key, kXfPatternColors, (word & 0xC000) | bg << 7 | fg);
        break;
    }
    case TXLSXfChange::Locked:
        takeEffective(TXLSXfGroup::Protection);
        setBit(kXfProtection, 0x1, value.number != 0);
        break;
    case TXLSXfChange::Borders: {
        takeEffective(TXLSXfGroup::Borders);
        const auto style = static_cast<std::uint32_t>(value.number);
        const auto color = static_cast<std::uint32_t>(value.color);
        // Line style bits (4) and colour bits (7) of each edge in the two border words.
        struct Edge {
            std::uint8_t edge;
            KeyField styleWord;
            std::uint32_t styleShift;
            KeyField colorWord;
            std::uint32_t colorShift;
        };
        static constexpr Edge kEdges[] = {
            {kEdgeLeft, kXfBorder1, 0, kXfBorder1, 16},
            {kEdgeRight, kXfBorder1, 4, kXfBorder1, 23},
            {kEdgeTop, kXfBorder1, 8, kXfBorder2, 0},
            {kEdgeBottom, kXfBorder1, 12, kXfBorder2, 7},
        };
        for (const Edge& e : kEdges) {
            if (!(value.edges & e.edge))
                continue;
            setBits(e.styleWord, 0xF, e.styleShift, style);
            setBits(e.colorWord, 0x7F, e.colorShift, color);
        }
        const std::uint8_t diagonals = value.edges & (kEdgeDiagonalDown | kEdgeDiagonalUp);
        if (diagonals) {
            setBits(kXfBorder2, 0xF, 21, style);
            setBits(kXfBorder2, 0x7F, 14, color);
            if (diagonals & kEdgeDiagonalDown)
                setBit(kXfBorder1, 1u << 30, style != 0);
            if (diagonals & kEdgeDiagonalUp)
                setBit(kXfBorder1, 1u << 31, style != 0);
        }
        break;
    }
    }
    setBit(kXfFlags, 1u << static_cast<unsigned>(group), true);
    return xfs_.FindOrReplace(release ? k : xfs_.Base(), key);
}

void TXLSXFList::PrepareForSave() {
    TXLSKeyList& fonts = fonts_.List();
    fonts.ResetReferences();
    xfs_.Compact();
    for (std::int32_t i = 0; i < xfs_.OutputCount(); ++i)
        fonts.AddReference(
            static_cast<std::int32_t>(FieldValue(xfs_.KeyAt(xfs_.OutputIndex(i)), kXfFont)));
    fonts.Compact();
}

std::uint16_t TXLSXFList::XfIndexFor(std::int32_t xf) const {
    if (xf <= 0)
        return 0;
    const std::int32_t p = xfs_.OutputPosition(xf);
    return static_cast<std::uint16_t>(p > 0 ? p - 1 : 0);
}

TXLSBlobPtr TXLSXFList::XfRecord(std::int32_t i) const {
    const std::int32_t xf = xfs_.OutputIndex(i);
    if (xf < 0)
        return nullptr;
    const std::u16string& key = xfs_.KeyAt(xf);
    const std::uint32_t parent = FieldValue(key, kXfParent);
    const bool noParent = Field(key, kXfParent) == u"FFFF";
    auto record = NewRecord(kXfRecordType, 20);
    record->AddWord(FontIndexFor(static_cast<std::int32_t>(FieldValue(key, kXfFont))));
    record->AddWord(static_cast<std::uint16_t>(FieldValue(key, kXfFormat)));
    record->AddWord(static_cast<std::uint16_t>(
        (parent & 0xFFF) << 4 | FieldValue(key, kXfProtection) | (noParent ? 4 : 0)));
    record->AddByte(static_cast<std::uint8_t>(FieldValue(key, kXfAlignByte)));
    record->AddByte(static_cast<std::uint8_t>(FieldValue(key, kXfRotation)));
    record->AddByte(static_cast<std::uint8_t>(FieldValue(key, kXfIndentByte)));
    record->AddByte(static_cast<std::uint8_t>(FieldValue(key, kXfFlags) << 2));
    record->AddDword(FieldValue(key, kXfBorder1));
    record->AddDword(FieldValue(key, kXfBorder2) | (FieldValue(key, kXfFillPattern) & 0x3F) << 26);
    record->AddWord(static_cast<std::uint16_t>(FieldValue(key, kXfPatternColors)));
    return record;
}

TXLSBlobPtr TXLSXFList::StyleRecord(std::int32_t i) const {
    const TXLSStyleEntry* style = styles_.Style(i);
    if (!style)
        return nullptr;
    const std::uint16_t ixfe = XfIndexFor(style->Xf()) & 0xFFF;
    if (style->IsBuiltIn()) {
        auto record = NewRecord(kStyleRecordType, 4);
        record->AddWord(ixfe | 0x8000);
        record->AddByte(style->BuiltInNumber());
        record->AddByte(0xFF); // outline level: none
        return record;
    }
    const std::u16string_view name = style->Name().substr(0, kByteMax);
    auto record = NewRecord(kStyleRecordType, 5 + 2 * static_cast<std::uint32_t>(name.size()));
    record->AddWord(ixfe);
    record->AddWord(static_cast<std::uint16_t>(name.size()));
    record->AddByte(1); // UTF-16LE characters
    record->AddWideText(name);
    return record;
}

} // namespace kelvora
