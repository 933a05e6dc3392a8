// The cell store of a worksheet and its per-column and per-row settings. Rows and columns
// are 0-based here: rows 0..65535, columns 0..255.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace kelvora {

class TXLSXFList;

inline constexpr std::int32_t kMaxRow = 65535;
inline constexpr std::int32_t kMaxColumn = 255;

// Column width units: 1/256 of a character, with the conversion below. Heights: twips.
std::uint16_t WidthToUnits(double characters);
double UnitsToWidth(std::uint16_t units);
std::uint16_t PointsToTwips(double points);
double TwipsToPoints(std::uint16_t twips);

enum class TXLSCellKind : std::uint8_t { Blank = 0, Text = 1, Number = 2, Date = 3, Boolean = 4 };

struct TXLSCellRef {
    std::uint16_t row = 0;
    std::uint8_t column = 0;
    TXLSCellKind kind = TXLSCellKind::Blank;
    std::int32_t xf = 0;       // XF number, 0 = no format of its own
    std::int32_t stringId = 0; // text cells: string id; -1 once the text was given back
    double number = 0;         // number, date (serial) and boolean (1 or 0) cells
};

struct TXLSColumnInfo {
    std::uint16_t width = 2340; // 8.43 characters
    std::int32_t xf = 0;
    bool hidden = false;
    std::uint8_t level = 0; // outline level 0..7
};

struct TXLSRowInfo {
    std::uint16_t height = 255; // twips, 12.75 points
    bool customHeight = true;
    std::int32_t xf = 0;
    bool formatted = false;
    bool hidden = false;
    std::uint8_t level = 0; // outline level 0..7
};

// Outline levels are set as 1..8 at the interface and stored as 0..7.
bool ValidOutlineLevel(std::int32_t level);

class TXLSColumnInfoList {
public:
    // An entry, or nullptr for a column without one or outside 0..255.
    const TXLSColumnInfo* Find(std::int32_t column) const;
    const TXLSColumnInfo& Default() const { return default_; }

    std::int32_t ColumnXF(std::int32_t column) const;
    void SetColumnXF(std::int32_t column, std::int32_t xf);
    double ColumnWidth(std::int32_t column) const;
    void SetColumnWidth(std::int32_t column, double characters);
    void SetDefaultColumnWidth(double characters);
    void SetColumnHidden(std::int32_t column, bool hidden);
    void SetColumnLevel(std::int32_t column, std::int32_t level);

    // First and last column with an entry, and the number of entries.
    std::int32_t First() const { return first_; }
    std::int32_t Last() const { return last_; }
    std::int32_t Count() const { return count_; }

    // Highest outline level met by the last COLINFO pass.
    std::uint8_t highestLevel = 0;

private:
    TXLSColumnInfo* Ensure(std::int32_t column);

    std::array<std::optional<TXLSColumnInfo>, kMaxColumn + 1> entries_;
    TXLSColumnInfo default_;
    std::int32_t first_ = 0;
    std::int32_t last_ = 0;
    std::int32_t count_ = 0;
};

class TXLSRowInfoList {
public:
    TXLSRowInfoList();
    ~TXLSRowInfoList();

    const TXLSRowInfo* Find(std::int32_t row) const;
    const TXLSRowInfo& Default() const { return default_; }

    std::int32_t RowXF(std::int32_t row) const;
    void SetRowXF(std::int32_t row, std::int32_t xf); // also marks the row formatted
    double RowHeight(std::int32_t row) const;
    void SetRowHeight(std::int32_t row, double points);
    void SetDefaultRowHeight(double points);
    void SetRowHidden(std::int32_t row, bool hidden);
    void SetRowLevel(std::int32_t row, std::int32_t level);

    std::int32_t First() const { return first_; }
    std::int32_t Last() const { return last_; }
    std::int32_t Count() const { return count_; }

    std::uint8_t highestLevel = 0;

private:
    TXLSRowInfo* Ensure(std::int32_t row);

    using Block = std::array<std::optional<TXLSRowInfo>, 256>;
    std::array<std::unique_ptr<Block>, 256> blocks_;
    TXLSRowInfo default_;
    std::int32_t first_ = 0;
    std::int32_t last_ = 0;
    std::int32_t count_ = 0;
};

// First and last row and column of every cell ever stored, with the two counts.
struct TXLSUsedArea {
    std::int32_t firstRow = 0, lastRow = 0, rowCount = 0;
    std::int32_t firstColumn = 0, lastColumn = 0, columnCount = 0;
};

// The sparse cell table: row blocks of 256 rows, per row groups of 16 columns held by
// value. Blocks are made on first use and kept while the store lives, so cells never move
// and a cell pointer stays valid with its worksheet.
class TXLSCellHeap {
public:
    TXLSCellHeap(const TXLSColumnInfoList& columns, const TXLSRowInfoList& rows, TXLSXFList& xfs);
    ~TXLSCellHeap();
    TXLSCellHeap(const TXLSCellHeap&) = delete;
    TXLSCellHeap& operator=(const TXLSCellHeap&) = delete;

    TXLSCellRef* FindCell(std::int32_t row, std::int32_t column) const;
    // The cell, made when missing with the XF that applies at its position (the column's
    // XF when not 0, else the row's), which it then holds a reference to.
    TXLSCellRef& GetCell(std::int32_t row, std::int32_t column);

    const TXLSUsedArea& UsedArea() const { return used_; }
    bool Empty() const { return used_.rowCount == 0; }

    // Every cell in store order: rows from the top, columns from 0 upwards.
    template <class Visit> void ForEachCell(Visit&& visit) const;

private:
    static constexpr int kGroupSize = 16;
    struct Group {
        std::array<TXLSCellRef, kGroupSize> cells;
        std::uint16_t present = 0; // bit per cell
    };
    using RowCells = std::array<std::unique_ptr<Group>, (kMaxColumn + 1) / kGroupSize>;
    using RowBlock = std::array<std::unique_ptr<RowCells>, 256>;

    void NoteUsed(std::int32_t row, std::int32_t column);

    const TXLSColumnInfoList& columns_;
    const TXLSRowInfoList& rows_;
    TXLSXFList& xfs_;
    std::array<std::unique_ptr<RowBlock>, 256> blocks_;
    TXLSUsedArea used_;
};

// The XF that applies at a position and whether a cell there has a format of its own.
struct TXLSEffectiveXF {
    std::int32_t xf = 0;
    bool own = false;
};
TXLSEffectiveXF EffectiveXF(const TXLSCellHeap& cells, const TXLSColumnInfoList& columns,
                            const TXLSRowInfoList& rows, std::int32_t row, std::int32_t column);

template <class Visit> void TXLSCellHeap::ForEachCell(Visit&& visit) const {
    for (const auto& block : blocks_) {
        if (!block)
            continue;
        for (const auto& rowCells : *block) {
            if (!rowCells)
                continue;
            for (const auto& group : *rowCells) {
                if (!group || group->present == 0)
                    continue;
                for (int i = 0; i < kGroupSize; ++i)
                    if (group->present & (1u << i))
                        visit(group->cells[i]);
            }
        }
    }
}

} // namespace kelvora
