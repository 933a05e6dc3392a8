#include "cfbdirectory.h"

namespace kelvora {

namespace {

std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                      static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

void Write32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

void MarkFreeDirectoryEntries(std::vector<std::uint8_t>& file) {
    constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
    constexpr std::uint32_t kLastRegularSector = 0xFFFFFFF9;
    constexpr std::size_t kEntrySize = 128;
    constexpr std::size_t kHeaderSectors = 109;
    if (file.size() < 512)
        return;
    const unsigned shift = file[0x1E] | file[0x1F] << 8;
    if (shift < 9 || shift > 12)
        return;
    const std::size_t sectorSize = std::size_t(1) << shift;
    auto sectorAt = [&](std::uint32_t sector) -> std::size_t {
        const std::size_t offset = (std::size_t(sector) + 1) * sectorSize;
        return sector <= kLastRegularSector && offset + sectorSize <= file.size() ? offset : 0;
    };
    std::vector<std::uint32_t> fatSectors;
    const std::uint32_t fatCount = Read32(file, 0x2C);
    for (std::size_t i = 0; i < kHeaderSectors && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(Read32(file, 0x4C + 4 * i));
    for (std::uint32_t sector = Read32(file, 0x44);
         fatSectors.size() < fatCount && sectorAt(sector) != 0;
         sector = Read32(file, sectorAt(sector) + sectorSize - 4)) {
        for (std::size_t at = 0; at + 4 < sectorSize && fatSectors.size() < fatCount; at += 4)
            fatSectors.push_back(Read32(file, sectorAt(sector) + at));
    }
    const std::size_t perSector = sectorSize / 4;
    auto next = [&](std::uint32_t sector) -> std::uint32_t {
        const std::size_t index = sector / perSector;
        const std::size_t at = index < fatSectors.size() ? sectorAt(fatSectors[index]) : 0;
        return at != 0 ? Read32(file, at + 4 * (sector % perSector)) : kNoStream;
    };
    std::size_t steps = file.size() / sectorSize; // a looping chain ends here
    for (std::uint32_t sector = Read32(file, 0x30); sectorAt(sector) != 0 && steps-- > 0;
         sector = next(sector)) {
        const std::size_t start = sectorAt(sector);
        for (std::size_t entry = start; entry < start + sectorSize; entry += kEntrySize) {
            if (file[entry + 0x42] != 0)
                continue; // a storage or a stream
            Write32(file, entry + 0x44, kNoStream);
            Write32(file, entry + 0x48, kNoStream);
            Write32(file, entry + 0x4C, kNoStream);
        }
    }
}

} // namespace kelvora
