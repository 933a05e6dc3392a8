#include "xlspalette.h"

#include <cstdlib>

namespace kelvora {
namespace {

constexpr std::uint16_t kPaletteRecordType = 0x0092;

// The default BIFF8 colour table, entries 8 to 63 (colour numbers 1 to 56).
constexpr std::uint32_t kDefaultColors[kColorNumberCount] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

int Channel(std::uint32_t rgb, int shift) {
    return static_cast<int>((rgb >> shift) & 0xFF);
}

} // namespace

TXLSPalette::TXLSPalette() {
    for (std::int32_t i = 0; i < kColorNumberCount; ++i)
        entries_[static_cast<std::size_t>(i + kColorNumberOffset + 1)] = kDefaultColors[i];
    for (std::size_t i = 0; i <= kColorNumberOffset; ++i)
        entries_[i] = kDefaultColors[i];
}

std::uint32_t TXLSPalette::Entry(std::int32_t entry) const {
    if (entry < 0 || entry >= kPaletteSize)
        return 0;
    return entries_[static_cast<std::size_t>(entry)];
}

void TXLSPalette::SetColor(std::int32_t colorNumber, std::uint32_t rgb) {
    if (colorNumber < 1 || colorNumber > kColorNumberCount)
        return;
    entries_[static_cast<std::size_t>(colorNumber + kColorNumberOffset)] = rgb & 0xFFFFFF;
}

std::int32_t TXLSPalette::NearestColor(std::uint32_t rgb) const {
    int best = 768;
    std::int32_t bestEntry = kColorNumberOffset + 1;
    for (std::int32_t e = kColorNumberOffset + 1; e < kPaletteSize; ++e) {
        const std::uint32_t c = entries_[static_cast<std::size_t>(e)];
        const int d = std::abs(Channel(c, 16) - Channel(rgb, 16)) +
                      std::abs(Channel(c, 8) - Channel(rgb, 8)) +
                      std::abs(Channel(c, 0) - Channel(rgb, 0));
        if (d < best) {
            best = d;
            bestEntry = e;
            if (d == 0)
                break;
        }
    }
    return bestEntry - kColorNumberOffset;
}

TXLSBlobPtr TXLSPalette::PaletteRecord() const {
    constexpr std::uint16_t length = 2 + 4 * kColorNumberCount;
    auto record = TXLSBlob::Create(kRecordHeaderSize + length);
    record->AddWord(kPaletteRecordType);
    record->AddWord(length);
    record->AddWord(kColorNumberCount);
    for (std::int32_t e = kColorNumberOffset + 1; e < kPaletteSize; ++e) {
        const std::uint32_t c = entries_[static_cast<std::size_t>(e)];
        record->AddByte(static_cast<std::uint8_t>(Channel(c, 16)));
        record->AddByte(static_cast<std::uint8_t>(Channel(c, 8)));
        record->AddByte(static_cast<std::uint8_t>(Channel(c, 0)));
        record->AddByte(0);
    }
    return record;
}

} // namespace kelvora
