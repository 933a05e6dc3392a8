// The worksheet substream: every record but the cell records, in their fixed order.
#include "workbook.h"
#include "xlsrecord.h"

namespace kelvora {

namespace {

// BIFF8 worksheet record types.
constexpr std::uint16_t kIndexType = 0x020B;
constexpr std::uint16_t kCalcModeType = 0x000D;
constexpr std::uint16_t kCalcCountType = 0x000C;
constexpr std::uint16_t kRefModeType = 0x000F;
constexpr std::uint16_t kIterationType = 0x0011;
constexpr std::uint16_t kDeltaType = 0x0010;
constexpr std::uint16_t kSaveRecalcType = 0x005F;
constexpr std::uint16_t kDefColWidthType = 0x0055;
constexpr std::uint16_t kColInfoType = 0x007D;
constexpr std::uint16_t kDefaultRowHeightType = 0x0225;
constexpr std::uint16_t kRowType = 0x0208;
constexpr std::uint16_t kPrintHeadersType = 0x002A;
constexpr std::uint16_t kPrintGridlinesType = 0x002B;
constexpr std::uint16_t kGridSetType = 0x0082;
constexpr std::uint16_t kGutsType = 0x0080;
constexpr std::uint16_t kWsBoolType = 0x0081;
constexpr std::uint16_t kSetupType = 0x00A1;
constexpr std::uint16_t kDimensionsType = 0x0200;
constexpr std::uint16_t kBottomMarginType = 0x0029;
constexpr std::uint16_t kTopMarginType = 0x0028;
constexpr std::uint16_t kRightMarginType = 0x0027;
constexpr std::uint16_t kLeftMarginType = 0x0026;
constexpr std::uint16_t kVCenterType = 0x0084;
constexpr std::uint16_t kHCenterType = 0x0083;
constexpr std::uint16_t kFooterType = 0x0015;
constexpr std::uint16_t kHeaderType = 0x0014;
constexpr std::uint16_t kWindow2Type = 0x023E;
constexpr std::uint16_t kSelectionType = 0x001D;
constexpr std::uint16_t kStandardWidthType = 0x0099;

constexpr std::uint16_t kDefaultColumnWidthUnits = 2340;
constexpr std::uint16_t kRowDefaultHeightFlag = 0x80FF; // 255 with "default height" set
constexpr std::uint16_t kDefaultCellXfIndex = 15;

class SheetWriter {
public:
    explicit SheetWriter(IXLSWorksheet& sheet)
        : sheet_(sheet), records_(*sheet.records), xfs_(sheet.Workbook().XFs()) {}

    void Write() {
        Header(Bof());
        Header(Index());
        Header(WordRecord(kCalcModeType, 1)); // automatic
        Header(WordRecord(kCalcCountType, 100));
        Header(WordRecord(kRefModeType, 1)); // A1 references
        Header(WordRecord(kIterationType, 0));
        auto delta = NewRecord(kDeltaType, 8);
        delta->AddDouble(0.001);
        Header(std::move(delta));
        Header(WordRecord(kSaveRecalcType, 1));
        Header(WordRecord(kDefColWidthType, 8));
        ColumnInfos();
        const TXLSRowInfo& defaultRow = sheet_.Rows().Default();
        auto defaultHeight = NewRecord(kDefaultRowHeightType, 4);
        defaultHeight->AddWord(0);
        defaultHeight->AddWord(defaultRow.customHeight ? defaultRow.height : 255);
        Header(std::move(defaultHeight));
        std::vector<TXLSBlobPtr> rowRecords = RowRecords();
        Header(WordRecord(kPrintHeadersType, 0));
        Header(WordRecord(kPrintGridlinesType, 1));
        Header(WordRecord(kGridSetType, 0)); // 1 - print gridlines
        Header(Guts());
        // Automatic page breaks shown, summary rows below and columns right of detail,
        // outline symbols shown.
        Header(WordRecord(kWsBoolType, 0x04C1));
        Header(Setup());
        Header(Dimensions());
        // The ROW records open the cell table, right before the cell records.
        for (TXLSBlobPtr& record : rowRecords)
            Header(std::move(record));

        Trailer(DoubleRecord(kBottomMarginType, 1.0));
        Trailer(DoubleRecord(kTopMarginType, 1.0));
        Trailer(DoubleRecord(kRightMarginType, 0.75));
        Trailer(DoubleRecord(kLeftMarginType, 0.75));
        Trailer(WordRecord(kVCenterType, 0));
        Trailer(WordRecord(kHCenterType, 0));
        Trailer(EmptyText(kFooterType));
        Trailer(EmptyText(kHeaderType));
        Trailer(Window2());
        Trailer(Selection());
        if (sheet_.Columns().Default().width != kDefaultColumnWidthUnits)
            Trailer(WordRecord(kStandardWidthType, sheet_.Columns().Default().width));
        Trailer(NewRecord(kEofRecordType, 0));
    }

private:
    void Header(TXLSBlobPtr record) {
        AddRecord(records_.header, std::move(record), records_.byteCount);
    }
    void Trailer(TXLSBlobPtr record) {
        AddRecord(records_.trailer, std::move(record), records_.byteCount);
    }

    std::uint16_t XfIndex(std::int32_t xf) const { return xf > 0 ? xfs_.XfIndexFor(xf) : 0; }

    static TXLSBlobPtr DoubleRecord(std::uint16_t type, double value) {
        auto record = NewRecord(type, 8);
        record->AddDouble(value);
        return record;
    }

    // A header or footer text: the page setup sets none, so it is empty.
    static TXLSBlobPtr EmptyText(std::uint16_t type) {
        auto record = NewRecord(type, 3);
        record->AddWord(0); // character count
        record->AddByte(1); // UTF-16LE
        return record;
    }

    static TXLSBlobPtr Bof() {
        auto record = NewRecord(kBofRecordType, 16);
        record->AddWord(0x0600);      // BIFF8
        record->AddWord(0x0010);      // worksheet substream
        record->AddWord(0x18AF);      // build
        record->AddWord(0x07CD);      // year
        record->AddDword(0x000080C9); // file-history flags
        record->AddDword(0x00000106); // lowest version
        return record;
    }

    TXLSBlobPtr Index() const {
        const TXLSCellHeap& store = sheet_.CellStore();
        auto record = NewRecord(kIndexType, 16);
        record->AddDword(0);
        record->AddDword(store.Empty() ? 0 : store.UsedArea().firstRow);
        record->AddDword(store.Empty() ? 1 : store.UsedArea().lastRow + 1);
        record->AddDword(0); // DEFCOLWIDTH position; no DBCELL positions follow
        return record;
    }

    void ColumnInfos() {
        TXLSColumnInfoList& columns = sheet_.Columns();
        columns.highestLevel = 0;
        std::int32_t first = -1;
        std::int32_t count = 0;
        auto close = [&] {
            if (first < 0)
                return;
            const TXLSColumnInfo& entry = *columns.Find(first);
            const std::int32_t last = first + count - 1;
            auto record = NewRecord(kColInfoType, 12);
            record->AddWord(static_cast<std::uint16_t>(first));
            record->AddWord(
                static_cast<std::uint16_t>(count >= 2 && last == kMaxColumn ? 256 : last));
            record->AddWord(entry.width);
            record->AddWord(XfIndex(entry.xf));
            record->AddWord(static_cast<std::uint16_t>((entry.hidden ? 1 : 0) | 0x0002 |
                                                       ((entry.level & 7) << 8)));
            record->AddWord(2); // reserved
            Header(std::move(record));
            columns.highestLevel = std::max(columns.highestLevel, entry.level);
            first = -1;
            count = 0;
        };
        for (std::int32_t c = 0; c <= kMaxColumn; ++c) {
            const TXLSColumnInfo* entry = columns.Find(c);
            if (entry == nullptr) {
                close();
                continue;
            }
            if (first >= 0) {
                const TXLSColumnInfo& head = *columns.Find(first);
                if (entry->width == head.width && entry->xf == head.xf &&
                    entry->level == head.level && entry->hidden == head.hidden) {
                    ++count;
                    continue;
                }
                close();
            }
            first = c;
            count = 1;
        }
        close();
    }

    std::uint8_t LevelOf(std::int32_t row) const {
        if (row < 0 || row > kMaxRow)
            return 0;
        const TXLSRowInfo* entry = sheet_.Rows().Find(row);
        return entry ? entry->level : sheet_.Rows().Default().level;
    }

    // The ROW records of the rows that carry settings; also finds the highest outline level,
    // which GUTS needs before them.
    std::vector<TXLSBlobPtr> RowRecords() {
        std::vector<TXLSBlobPtr> records;
        TXLSRowInfoList& rows = sheet_.Rows();
        rows.highestLevel = 0;
        if (rows.Count() == 0)
            return records;
        for (std::int32_t r = rows.First(); r <= rows.Last(); ++r) {
            const TXLSRowInfo* entry = rows.Find(r);
            if (entry == nullptr)
                continue;
            std::uint16_t options = 0x0100 | (entry->level & 7);
            if (entry->formatted)
                options |= 0x0080;
            if (entry->hidden)
                options |= 0x0020;
            else if (entry->customHeight)
                options |= 0x0040;
            if (entry->level != LevelOf(r - 1) || entry->level != LevelOf(r + 1))
                options |= 0x0010;
            auto record = NewRecord(kRowType, 16);
            record->AddWord(static_cast<std::uint16_t>(r));
            record->AddWord(0); // first column
            record->AddWord(0); // last column + 1
            record->AddWord(entry->customHeight ? entry->height : kRowDefaultHeightFlag);
            record->AddWord(0);
            record->AddWord(0);
            record->AddWord(options);
            record->AddWord(entry->formatted ? XfIndex(entry->xf) : kDefaultCellXfIndex);
            records.push_back(std::move(record));
            rows.highestLevel = std::max(rows.highestLevel, entry->level);
        }
        return records;
    }

    TXLSBlobPtr Guts() const {
        const std::uint16_t r = sheet_.Rows().highestLevel;
        const std::uint16_t c = sheet_.Columns().highestLevel;
        auto record = NewRecord(kGutsType, 8);
        record->AddWord(static_cast<std::uint16_t>(r * 29));
        record->AddWord(static_cast<std::uint16_t>(c * 29));
        record->AddWord(r > 0 ? r + 1 : 0);
        record->AddWord(c > 0 ? c + 1 : 0);
        return record;
    }

    static TXLSBlobPtr Setup() {
        auto record = NewRecord(kSetupType, 34);
        record->AddWord(0);      // paper size
        record->AddWord(100);    // scale
        record->AddWord(1);      // first page number
        record->AddWord(0);      // fit to width
        record->AddWord(0);      // fit to height
        record->AddWord(0x0002); // portrait
        record->AddWord(600);    // horizontal resolution
        record->AddWord(600);    // vertical resolution
        record->AddDouble(0.5);  // header margin
        record->AddDouble(0.5);  // footer margin
        record->AddWord(1);      // copies
        return record;
    }

    TXLSBlobPtr Dimensions() const {
        const TXLSWrittenBounds& b = sheet_.writtenBounds;
        auto record = NewRecord(kDimensionsType, 14);
        record->AddDword(b.any ? b.firstRow : 0);
        record->AddDword(b.any ? b.lastRow + 1 : 0);
        record->AddWord(b.any ? b.firstColumn : 0);
        record->AddWord(b.any ? b.lastColumn + 1 : 256);
        record->AddWord(0);
        return record;
    }

    TXLSBlobPtr Window2() const {
        // Headers shown, default header colour, outline symbols, gridlines and zero values
        // shown; visible sheet.
        std::uint16_t options = 0x00A4 | 0x0002 | 0x0010 | 0x0400;
        if (sheet_.Selected())
            options |= 0x0200;
        std::int32_t hiddenRows = 0;
        while (hiddenRows <= kMaxRow && sheet_.Rows().Find(hiddenRows) &&
               sheet_.Rows().Find(hiddenRows)->hidden)
            ++hiddenRows;
        std::int32_t hiddenColumns = 0;
        while (hiddenColumns <= kMaxColumn && sheet_.Columns().Find(hiddenColumns) &&
               sheet_.Columns().Find(hiddenColumns)->hidden)
            ++hiddenColumns;
        auto record = NewRecord(kWindow2Type, 18);
        record->AddWord(options);
        record->AddWord(static_cast<std::uint16_t>(hiddenRows));
        record->AddWord(static_cast<std::uint16_t>(hiddenColumns));
        record->AddWord(0x0040); // header colour
        record->AddWord(0);
        record->AddWord(0); // page-break-preview zoom
        record->AddWord(0); // normal zoom
        record->AddDword(0);
        return record;
    }

    TXLSBlobPtr Selection() const {
        const TXLSArea& s = sheet_.Selection();
        auto record = NewRecord(kSelectionType, 15);
        record->AddByte(3); // the only pane
        record->AddWord(s.firstRow);
        record->AddWord(s.firstColumn);
        record->AddWord(0); // active reference
        record->AddWord(1); // reference count
        record->AddWord(s.firstRow);
        record->AddWord(s.lastRow);
        record->AddByte(s.firstColumn);
        record->AddByte(s.lastColumn);
        return record;
    }

    IXLSWorksheet& sheet_;
    TXLSSheetRecords& records_;
    const TXLSXFList& xfs_;
};

} // namespace

std::int32_t WriteSheetRecords(IXLSWorksheet& sheet) {
    SheetWriter(sheet).Write();
    return 1;
}

} // namespace kelvora
