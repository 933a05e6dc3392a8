// The cell pass of a save: the cell records of one worksheet.
#include "workbook.h"
#include "xlsrecord.h"

#include <bit>
#include <cmath>
#include <vector>

namespace kelvora {

namespace {

constexpr double kRkIntMin = -536870912.0; // -2^29: the 30-bit integer form
constexpr double kRkIntMax = 536870911.0;  // 2^29 - 1
constexpr std::uint64_t kLow34Bits = (std::uint64_t(1) << 34) - 1;

// An adjacent run of RK numbers in one row, written as RK (one cell) or MULRK.
struct PendingRun {
    std::uint16_t row = 0;
    std::uint8_t firstColumn = 0;
    std::vector<std::pair<std::uint16_t, std::uint32_t>> cells; // XF index, RK value
};

class CellWriter {
public:
    explicit CellWriter(IXLSWorksheet& sheet)
        : sheet_(sheet), records_(*sheet.records), xfs_(sheet.Workbook().XFs()),
          strings_(sheet.Workbook().Strings()) {
        label_.AddWord(kLabelSstRecordType);
        label_.AddWord(10);
        for (int i = 0; i < 10; ++i)
            label_.AddByte(0);
    }

    void Visit(const TXLSCellRef& cell) {
        std::uint32_t rk;
        if (cell.kind == TXLSCellKind::Number && EncodeRk(cell.number, rk)) {
            if (!run_.cells.empty() &&
                (cell.row != run_.row || cell.column != run_.firstColumn + run_.cells.size()))
                Flush();
            if (run_.cells.empty()) {
                run_.row = cell.row;
                run_.firstColumn = cell.column;
            }
            run_.cells.emplace_back(XfIndex(cell), rk);
            return;
        }
        Flush();
        switch (cell.kind) {
        case TXLSCellKind::Blank:
            if (const std::uint16_t xf = XfIndex(cell); xf != 0) {
                auto record = Start(kBlankRecordType, 6, cell);
                Add(std::move(record));
            }
            break;
        case TXLSCellKind::Text:
            WriteLabel(cell);
            break;
        case TXLSCellKind::Number:
        case TXLSCellKind::Date: {
            auto record = Start(kNumberRecordType, 14, cell);
            record->AddDouble(cell.number);
            Add(std::move(record));
            break;
        }
        case TXLSCellKind::Boolean: {
            auto record = Start(kBoolErrRecordType, 8, cell);
            record->AddByte(cell.number > 0 ? 1 : 0);
            record->AddByte(0); // a boolean, not an error
            Add(std::move(record));
            break;
        }
        }
    }

    void Flush() {
        const auto count = static_cast<std::uint16_t>(run_.cells.size());
        if (count == 0)
            return;
        const std::uint8_t lastColumn = static_cast<std::uint8_t>(run_.firstColumn + count - 1);
        for (std::uint8_t c = run_.firstColumn;; ++c) {
            NoteWritten(run_.row, c);
            if (c == lastColumn)
                break;
        }
        TXLSBlobPtr record;
        if (count == 1) {
            record = NewRecord(kRkRecordType, 10);
            record->AddWord(run_.row);
            record->AddWord(run_.firstColumn);
            record->AddWord(run_.cells[0].first);
            record->AddDword(run_.cells[0].second);
        } else {
            record = NewRecord(kMulRkRecordType, static_cast<std::uint16_t>(6 + 6 * count));
            record->AddWord(run_.row);
            record->AddWord(run_.firstColumn);
            for (const auto& [xf, rk] : run_.cells) {
                record->AddWord(xf);
                record->AddDword(rk);
            }
            record->AddWord(lastColumn);
        }
        Add(std::move(record));
        run_.cells.clear();
    }

private:
    std::uint16_t XfIndex(const TXLSCellRef& cell) const {
        return cell.xf > 0 ? xfs_.XfIndexFor(cell.xf) : 0;
    }

    void NoteWritten(std::uint16_t row, std::uint8_t column) {
        TXLSWrittenBounds& b = sheet_.writtenBounds;
        if (!b.any) {
            b = TXLSWrittenBounds{true, row, row, column, column};
            return;
        }
        b.firstRow = std::min(b.firstRow, row);
        b.lastRow = std::max(b.lastRow, row);
        b.firstColumn = std::min(b.firstColumn, column);
        b.lastColumn = std::max(b.lastColumn, column);
    }

    // LABELSST, the record of nearly every cell: one buffer is refilled for every text cell
    // instead of a record made and freed per cell.
    void WriteLabel(const TXLSCellRef& cell) {
        NoteWritten(cell.row, cell.column);
        const auto sst = static_cast<std::uint32_t>(strings_.SstIndexFor(cell.stringId));
        label_.PutWord(4, cell.row);
        label_.PutWord(6, cell.column);
        label_.PutWord(8, XfIndex(cell));
        label_.PutWord(10, static_cast<std::uint16_t>(sst));
        label_.PutWord(12, static_cast<std::uint16_t>(sst >> 16));
        records_.cells.AppendBlob(label_);
        records_.byteCount += static_cast<std::int32_t>(label_.Length());
    }

    // A cell record with its row, column and XF index written.
    TXLSBlobPtr Start(std::uint16_t type, std::uint16_t dataLength, const TXLSCellRef& cell) {
        NoteWritten(cell.row, cell.column);
        auto record = NewRecord(type, dataLength);
        record->AddWord(cell.row);
        record->AddWord(cell.column);
        record->AddWord(XfIndex(cell));
        return record;
    }

    void Add(TXLSBlobPtr record) {
        AddRecord(records_.cells, std::move(record), records_.byteCount);
    }

    IXLSWorksheet& sheet_;
    TXLSSheetRecords& records_;
    const TXLSXFList& xfs_;
    const TXLSStringTable& strings_;
    TXLSBlob label_{kRecordHeaderSize + 10};
    PendingRun run_;
};

} // namespace

bool EncodeRk(double x, std::uint32_t& rk) {
    if (std::isnan(x))
        return false;
    if (x == std::trunc(x) && x >= kRkIntMin && x <= kRkIntMax) {
        rk = static_cast<std::uint32_t>(static_cast<std::int32_t>(x) * 4) | 2;
        return true;
    }
    // Hundredths as a 30-bit integer, the product taken in extended precision.
    const long double hundredths = std::nearbyint(static_cast<long double>(x) * 100.0L);
    if (hundredths >= kRkIntMin && hundredths <= kRkIntMax &&
        static_cast<double>(hundredths / 100.0L) == x) {
        rk = static_cast<std::uint32_t>(static_cast<std::int32_t>(hundredths) * 4) | 3;
        return true;
    }
    const auto bits = std::bit_cast<std::uint64_t>(x);
    if ((bits & kLow34Bits) == 0) {
        rk = static_cast<std::uint32_t>(bits >> 32);
        return true;
    }
    const double y = x * 100;
    const auto yBits = std::bit_cast<std::uint64_t>(y);
    if ((yBits & kLow34Bits) == 0 && !std::isnan(y)) {
        rk = static_cast<std::uint32_t>(yBits >> 32) | 1;
        return true;
    }
    return false;
}

std::int32_t WriteCells(IXLSWorksheet& sheet) {
    CellWriter writer(sheet);
    sheet.CellStore().ForEachCell([&](const TXLSCellRef& cell) { writer.Visit(cell); });
    writer.Flush();
    return 1;
}

} // namespace kelvora
