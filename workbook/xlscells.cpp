#include "xlscells.h"

#include "xlsxf.h"

#include <cmath>

namespace kelvora {

namespace {

// Nearest integer, halves to the even neighbour (the default rounding mode).
double RoundEven(double x) {
    return std::nearbyint(x);
}

bool ValidColumn(std::int32_t column) {
    return column >= 0 && column <= kMaxColumn;
}
bool ValidRow(std::int32_t row) {
    return row >= 0 && row <= kMaxRow;
}

// Widens a first/last/count span with position p.
void Widen(std::int32_t p, std::int32_t& first, std::int32_t& last, std::int32_t& count) {
    if (count == 0 || p < first) {
        first = p;
        count = last - p + 1;
    }
    if (count == 0 || p > last) {
        last = p;
        count = p - first + 1;
    }
}

// Keeps the first and last position that has an entry, and the entry count.
void NoteEntry(std::int32_t p, std::int32_t& first, std::int32_t& last, std::int32_t& count) {
    if (count == 0 || p < first)
        first = p;
    if (count == 0 || p > last)
        last = p;
    ++count;
}

} // namespace

std::uint16_t WidthToUnits(double characters) {
    const double whole = std::trunc(characters);
    const double fraction = characters - whole;
    if (whole == 0)
        return static_cast<std::uint16_t>(RoundEven(fraction * 256 * 1.8));
    return static_cast<std::uint16_t>(
        static_cast<std::int64_t>(RoundEven(fraction * 256) + whole * 256 + 182));
}

double UnitsToWidth(std::uint16_t units) {
    if (units < 438)
        return RoundEven(units / 460.8 * 100) / 100;
    return RoundEven((units - 182) / 256.0 * 100) / 100;
}

std::uint16_t PointsToTwips(double points) {
    const double whole = std::trunc(points);
    const double quarters = whole + RoundEven((points - whole) * 4) / 4;
    return static_cast<std::uint16_t>(RoundEven(quarters * 20));
}

double TwipsToPoints(std::uint16_t twips) {
    return RoundEven(twips / 5.0) / 4;
}

bool ValidOutlineLevel(std::int32_t level) {
    return level >= 1 && level <= 8;
}

// ---- columns

const TXLSColumnInfo* TXLSColumnInfoList::Find(std::int32_t column) const {
    if (!ValidColumn(column) || !entries_[column])
        return nullptr;
    return &*entries_[column];
}

TXLSColumnInfo* TXLSColumnInfoList::Ensure(std::int32_t column) {
    if (!ValidColumn(column))
        return nullptr;
    auto& entry = entries_[column];
    if (!entry) {
        // A new entry starts with the default width and XF, shown, at level 0.
        entry = TXLSColumnInfo{default_.width, default_.xf, false, 0};
        NoteEntry(column, first_, last_, count_);
    }
    return &*entry;
}

std::int32_t TXLSColumnInfoList::ColumnXF(std::int32_t column) const {
    const auto* entry = Find(column);
    return entry ? entry->xf : default_.xf;
}

void TXLSColumnInfoList::SetColumnXF(std::int32_t column, std::int32_t xf) {
    if (auto* entry = Ensure(column))
        entry->xf = xf;
}

double TXLSColumnInfoList::ColumnWidth(std::int32_t column) const {
    const auto* entry = Find(column);
    return UnitsToWidth(entry ? entry->width : default_.width);
}

void TXLSColumnInfoList::SetColumnWidth(std::int32_t column, double characters) {
    if (auto* entry = Ensure(column))
        entry->width = WidthToUnits(characters);
}

void TXLSColumnInfoList::SetDefaultColumnWidth(double characters) {
    default_.width = WidthToUnits(characters);
}

void TXLSColumnInfoList::SetColumnHidden(std::int32_t column, bool hidden) {
    if (auto* entry = Ensure(column))
        entry->hidden = hidden;
}

void TXLSColumnInfoList::SetColumnLevel(std::int32_t column, std::int32_t level) {
    if (!ValidOutlineLevel(level) || (level == 1 && Find(column) == nullptr))
        return;
    if (auto* entry = Ensure(column))
        entry->level = static_cast<std::uint8_t>(level - 1);
}

// ---- rows

TXLSRowInfoList::TXLSRowInfoList() = default;
TXLSRowInfoList::~TXLSRowInfoList() = default;

const TXLSRowInfo* TXLSRowInfoList::Find(std::int32_t row) const {
    if (!ValidRow(row))
        return nullptr;
    const auto& block = blocks_[row >> 8];
    if (!block || !(*block)[row & 0xFF])
        return nullptr;
    return &*(*block)[row & 0xFF];
}

TXLSRowInfo* TXLSRowInfoList::Ensure(std::int32_t row) {
    if (!ValidRow(row))
        return nullptr;
    auto& block = blocks_[row >> 8];
    if (!block)
        block = std::make_unique<Block>();
    auto& entry = (*block)[row & 0xFF];
    if (!entry) {
        // A new entry has the default height without the custom flag, and XF 15.
        entry = TXLSRowInfo{default_.height, false, 15, false, false, 0};
        NoteEntry(row, first_, last_, count_);
    }
    return &*entry;
}

std::int32_t TXLSRowInfoList::RowXF(std::int32_t row) const {
    if (!ValidRow(row))
        return 0;
    const auto* entry = Find(row);
    return entry ? entry->xf : default_.xf;
}

void TXLSRowInfoList::SetRowXF(std::int32_t row, std::int32_t xf) {
    if (auto* entry = Ensure(row)) {
        entry->xf = xf;
        entry->formatted = true;
    }
}

double TXLSRowInfoList::RowHeight(std::int32_t row) const {
    const auto* entry = Find(row);
    if (entry && entry->hidden)
        return 0;
    return TwipsToPoints(entry ? entry->height : default_.height);
}

void TXLSRowInfoList::SetRowHeight(std::int32_t row, double points) {
    if (auto* entry = Ensure(row)) {
        entry->height = PointsToTwips(points);
        entry->customHeight = true;
        entry->hidden = false;
    }
}

void TXLSRowInfoList::SetDefaultRowHeight(double points) {
    default_.height = PointsToTwips(points);
    default_.customHeight = true;
    default_.hidden = false;
}

void TXLSRowInfoList::SetRowHidden(std::int32_t row, bool hidden) {
    if (auto* entry = Ensure(row))
        entry->hidden = hidden;
}

void TXLSRowInfoList::SetRowLevel(std::int32_t row, std::int32_t level) {
    if (!ValidOutlineLevel(level) || (level == 1 && Find(row) == nullptr))
        return;
    if (auto* entry = Ensure(row))
        entry->level = static_cast<std::uint8_t>(level - 1);
}

// ---- cells

TXLSCellHeap::TXLSCellHeap(const TXLSColumnInfoList& columns, const TXLSRowInfoList& rows,
                           TXLSXFList& xfs)
    : columns_(columns), rows_(rows), xfs_(xfs) {}

TXLSCellHeap::~TXLSCellHeap() = default;

TXLSCellRef* TXLSCellHeap::FindCell(std::int32_t row, std::int32_t column) const {
    if (!ValidRow(row) || !ValidColumn(column))
        return nullptr;
    const auto& block = blocks_[row >> 8];
    if (!block)
        return nullptr;
    const auto& rowCells = (*block)[row & 0xFF];
    if (!rowCells)
        return nullptr;
    const auto& group = (*rowCells)[column / kGroupSize];
    const int i = column % kGroupSize;
    if (!group || !(group->present & (1u << i)))
        return nullptr;
    return &group->cells[i];
}

TXLSCellRef& TXLSCellHeap::GetCell(std::int32_t row, std::int32_t column) {
    auto& block = blocks_[row >> 8];
    if (!block)
        block = std::make_unique<RowBlock>();
    auto& rowCells = (*block)[row & 0xFF];
    if (!rowCells)
        rowCells = std::make_unique<RowCells>();
    auto& group = (*rowCells)[column / kGroupSize];
    if (!group)
        group = std::make_unique<Group>();
    const int i = column % kGroupSize;
    TXLSCellRef& cell = group->cells[i];
    if (group->present & (1u << i))
        return cell;
    const std::int32_t columnXF = columns_.ColumnXF(column);
    cell = TXLSCellRef{static_cast<std::uint16_t>(row),
                       static_cast<std::uint8_t>(column),
                       TXLSCellKind::Blank,
                       columnXF != 0 ? columnXF : rows_.RowXF(row),
                       0,
                       0};
    if (cell.xf > 0)
        xfs_.AddReference(cell.xf);
    group->present |= static_cast<std::uint16_t>(1u << i);
    NoteUsed(row, column);
    return cell;
}

void TXLSCellHeap::NoteUsed(std::int32_t row, std::int32_t column) {
    Widen(row, used_.firstRow, used_.lastRow, used_.rowCount);
    Widen(column, used_.firstColumn, used_.lastColumn, used_.columnCount);
}

TXLSEffectiveXF EffectiveXF(const TXLSCellHeap& cells, const TXLSColumnInfoList& columns,
                            const TXLSRowInfoList& rows, std::int32_t row, std::int32_t column) {
    if (const auto* cell = cells.FindCell(row, column); cell && cell->xf > 0)
        return {cell->xf, true};
    const std::int32_t columnXF = columns.ColumnXF(column);
    return {columnXF != 0 ? columnXF : rows.RowXF(row), false};
}

} // namespace kelvora
