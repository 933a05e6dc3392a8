// The workbook's colour table: 64 entries of red, green, blue.
#pragma once

#include "xlsblob.h"

#include <array>
#include <cstdint>

namespace kelvora {

// BIFF8 colour numbers outside the table.
inline constexpr std::int32_t kSystemForegroundColor = 64;
inline constexpr std::int32_t kSystemBackgroundColor = 65;
inline constexpr std::int32_t kAutomaticFontColor = 0x7FFF;
inline constexpr std::int32_t kPaletteSize = 64;
// Colour numbers 1..56 of the object model are table entries 8..63.
inline constexpr std::int32_t kColorNumberOffset = 7;
inline constexpr std::int32_t kColorNumberCount = 56;

// An RGB value is held as 0xRRGGBB.
class TXLSPalette {
public:
    // The default BIFF8 colour table; entries 0..7 repeat entries 8..15.
    TXLSPalette();

    // The RGB value of entry 0..63, 0 outside.
    std::uint32_t Entry(std::int32_t entry) const;
    // Stores rgb in entry colorNumber + 7 for colour numbers 1..56; others are ignored.
    void SetColor(std::int32_t colorNumber, std::uint32_t rgb);
    // The colour number 1..56 whose entry is nearest to rgb by |dR| + |dG| + |dB|; the lowest
    // wins a tie.
    std::int32_t NearestColor(std::uint32_t rgb) const;
    // PALETTE record (type 0x0092) with entries 8..63.
    TXLSBlobPtr PaletteRecord() const;

private:
    std::array<std::uint32_t, kPaletteSize> entries_;
};

} // namespace kelvora
