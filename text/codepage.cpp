#include "text/codepage.h"

#include "text/unicode.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

namespace kelvora {

namespace {

// The code pages drawings name by number ("ANSI_1251", "DOS866"), as iconv knows them.
constexpr int kSingleBytePages[] = {437, 850, 852,  855,  857,  860,  861,  863,  864,  865,  866,
                                    869, 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
constexpr int kDoubleBytePages[] = {932, 936, 949, 950, 1361};

struct Page {
    std::string iconvName;
    bool doubleByte;
};

// Upper case without blanks, '-' and '_': "ansi_1251" -> "ANSI1251", "ISO8859-1" -> "ISO88591".
std::string squeezed(std::string_view name) {
    std::string key;
    for (const char c : name) {
        if (c != ' ' && c != '-' && c != '_' && c != '\t') {
            key += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
    }
    return key;
}

// The number that follows prefix when only digits follow it.
std::optional<int> numberAfter(std::string_view key, std::string_view prefix) {
    if (!key.starts_with(prefix) || key.size() == prefix.size() || key.size() > prefix.size() + 5) {
        return std::nullopt;
    }
    int number = 0;
    const char* end = key.data() + key.size();
    const auto [stop, error] = std::from_chars(key.data() + prefix.size(), end, number);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return number;
}

bool listed(const auto& pages, int number) {
    return std::find(std::begin(pages), std::end(pages), number) != std::end(pages);
}

Page resolve(std::string_view dxfName) {
    const std::string key = squeezed(dxfName);
    for (const std::string_view prefix : {"ANSI", "DOS", "WINDOWS", "CP"}) {
        if (const std::optional<int> number = numberAfter(key, prefix)) {
            const bool doubleByte = listed(kDoubleBytePages, *number);
            if (doubleByte || listed(kSingleBytePages, *number)) {
                return {"CP" + std::to_string(*number), doubleByte};
            }
        }
    }
    for (const std::string_view prefix : {"ISO8859", "8859"}) {
        const std::optional<int> part = numberAfter(key, prefix);
        if (part && *part >= 1 && *part <= 16 && *part != 12) {
            return {"ISO-8859-" + std::to_string(*part), false};
        }
    }
    struct Named {
        std::string_view key;
        std::string_view iconvName;
        bool doubleByte;
    };
    static constexpr Named kNamed[] = {{"BIG5", "CP950", true},
                                       {"GB2312", "CP936", true},
                                       {"GBK", "CP936", true},
                                       {"KSC5601", "CP949", true},
                                       {"JOHAB", "CP1361", true},
                                       {"MACCYRILLIC", "MAC-CYRILLIC", false},
                                       {"MACCENTRALEUROPE", "MAC-CENTRALEUROPE", false},
                                       {"MACUKRAINIAN", "MACUKRAINIAN", false}};
    for (const Named& named : kNamed) {
        if (key == named.key) {
            return {std::string(named.iconvName), named.doubleByte};
        }
    }
    // "MACINTOSH", "MAC-ROMAN" and other names of the Macintosh pages.
    return {key.starts_with("MAC") ? "MACINTOSH" : "CP1252", false};
}

} // namespace

CodePage::CodePage() {
    static const std::array<HighByte, 128> kWindows1252 = [] {
        std::array<HighByte, 128> table;
        for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
            std::string utf8;
            unicode::appendUtf8(utf8, unicode::fromWindows1252(static_cast<unsigned char>(byte)));
            setHigh(table, byte, utf8);
        }
        return table;
    }();
    high_ = kWindows1252;
}

void CodePage::setHigh(std::array<HighByte, 128>& table, unsigned byte, std::string_view utf8) {
    HighByte& entry = table[byte - 0x80];
    std::copy(utf8.begin(), utf8.end(), entry.utf8.begin());
    entry.size = static_cast<std::uint8_t>(utf8.size());
}

CodePage::CodePage(std::string_view dxfName) : CodePage() {
    const Page page = resolve(dxfName);
    Iconv iconv(page.iconvName.c_str());
    if (!iconv.isOpen()) {
        return;
    }
    name_ = page.iconvName;
    if (page.doubleByte) {
        std::string backslash;
        iconv.appendUtf8("\\", backslash);
        if (backslash != "\\") {
            backslashAs_ = backslash;
        }
        doubleByte_ = std::move(iconv);
        return;
    }
    // A byte iconv does not know keeps its Windows-1252 character.
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        const char c = static_cast<char>(byte);
        std::string utf8;
        if (iconv.appendUtf8({&c, 1}, utf8) && utf8.size() <= sizeof(HighByte::utf8)) {
            setHigh(high_, byte, utf8);
        }
    }
}

void CodePage::appendUtf8(std::string_view bytes, std::string& out) const {
    if (doubleByte_.isOpen()) {
        const std::size_t start = out.size();
        doubleByte_.appendUtf8(bytes, out);
        for (std::size_t at = backslashAs_.empty() ? out.npos : out.find(backslashAs_, start);
             at != out.npos; at = out.find(backslashAs_, at + 1)) {
            out.replace(at, backslashAs_.size(), 1, '\\');
        }
        return;
    }
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            const HighByte& entry = high_[byte - 0x80];
            out.append(entry.utf8.data(), entry.size);
        }
    }
}

} // namespace kelvora
