// The workbook writer as its clients see it: a workbook with worksheets, ranges and fills,
// saved as a BIFF8 workbook stream inside a compound file. Rows and columns count from 1 at
// the object model and from 0 in the cell store and in every record.
#pragma once

#include "xlsblob.h"
#include "xlscells.h"
#include "xlspalette.h"
#include "xlssst.h"
#include "xlsxf.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kelvora {

class TXLSStorage;
class TXLSWorkbook;
class IXLSWorksheet;

// A date cell's value: the serial number of the 1900 date system.
struct TXLSDate {
    double serial = 0;
};
// What a range's Value accepts: nothing (blank), a number, a boolean, a date, a 16-bit text
// or an 8-bit text (decoded as UTF-8 when valid, else as Windows-1252). Texts are viewed, not
// copied: a value lives for the call it is passed to.
using TXLSValue =
    std::variant<std::monostate, double, bool, TXLSDate, std::u16string_view, std::string_view>;

// Base of the reference-counted objects of the model (workbook, ranges, interiors): they
// live in std::shared_ptr, destroyed with their last reference.
class TXLSObject : public std::enable_shared_from_this<TXLSObject> {
public:
    TXLSObject() = default;
    TXLSObject(const TXLSObject&) = delete;
    TXLSObject& operator=(const TXLSObject&) = delete;
    virtual ~TXLSObject() = default;
};

// Colour numbers of the fill: 1..56 (palette entries 8..63), 0 or -4142 for none, -4105 for
// automatic.
inline constexpr std::int32_t kColorIndexNone = -4142;
inline constexpr std::int32_t kColorIndexAutomatic = -4105;

class IXLSInterior {
public:
    virtual ~IXLSInterior() = default;
    // Changes the fill of every cell, row or column the range covers; other numbers than
    // the ones above change nothing.
    virtual void SetColorIndex(std::int32_t colorNumber) = 0;
};

class IXLSRowsRange;

class IXLSRange {
public:
    virtual ~IXLSRange() = default;
    // The cell at row, column counted from the range's top-left cell (1, 1); nullptr outside
    // the worksheet.
    virtual std::shared_ptr<IXLSRange> Item(std::int32_t row, std::int32_t column) = 0;
    // Stores value into every cell of the range.
    virtual void SetValue(const TXLSValue& value) = 0;
    // The same rows over all 256 columns.
    virtual std::shared_ptr<IXLSRowsRange> EntireRow() = 0;
    virtual std::shared_ptr<IXLSInterior> Interior() = 0;
};

class IXLSRowsRange {
public:
    virtual ~IXLSRowsRange() = default;
    // Row index (1 = the first row of the view) over the view's columns. Callers pass 1 to
    // the number of rows of the view.
    virtual std::shared_ptr<IXLSRange> Item(std::int32_t index) = 0;
};

// A rectangle of one worksheet, 0-based and never empty.
struct TXLSArea {
    std::uint16_t firstRow = 0, lastRow = 0;
    std::uint8_t firstColumn = 0, lastColumn = 0;
};

// Save state of one worksheet, alive for one save: its substream as the header list (BOF to
// DIMENSIONS), the cell list and the trailer list (margins to EOF), with their byte count.
struct TXLSSheetRecords {
    TXLSBlobList header;
    TXLSBlobList cells;
    TXLSBlobList trailer;
    std::int32_t byteCount = 0;
    std::int32_t offset = 0; // stream offset of the sheet's BOF
};

// Smallest and largest position of every cell record ever written for a worksheet.
struct TXLSWrittenBounds {
    bool any = false;
    std::uint16_t firstRow = 0, lastRow = 0;
    std::uint8_t firstColumn = 0, lastColumn = 0;
};

class IXLSWorksheet {
public:
    IXLSWorksheet(TXLSWorkbook& workbook, std::u16string name, std::int32_t id);
    ~IXLSWorksheet();
    IXLSWorksheet(const IXLSWorksheet&) = delete;
    IXLSWorksheet& operator=(const IXLSWorksheet&) = delete;

    // The range A1:IV65536; every call returns the same range.
    const std::shared_ptr<IXLSRange>& Cells() const { return cellsRange_; }

    const std::u16string& Name() const { return name_; }
    // Renames the worksheet when the name is valid (see IXLSWorkSheets::ValidName).
    bool SetName(const std::u16string& name);
    std::int32_t Position() const { return position_; }
    std::int32_t Id() const { return id_; }
    bool Selected() const { return selected_; }
    const TXLSArea& Selection() const { return selection_; }

    TXLSWorkbook& Workbook() { return workbook_; }
    TXLSCellHeap& CellStore() { return cells_; }
    const TXLSCellHeap& CellStore() const { return cells_; }
    TXLSColumnInfoList& Columns() { return columns_; }
    const TXLSColumnInfoList& Columns() const { return columns_; }
    TXLSRowInfoList& Rows() { return rows_; }
    const TXLSRowInfoList& Rows() const { return rows_; }

    TXLSWrittenBounds writtenBounds;
    std::unique_ptr<TXLSSheetRecords> records; // during a save only

private:
    friend class IXLSWorkSheets;

    TXLSWorkbook& workbook_;
    std::u16string name_;
    std::int32_t id_;
    std::int32_t position_ = 0;
    bool selected_ = false;
    TXLSColumnInfoList columns_;
    TXLSRowInfoList rows_;
    TXLSCellHeap cells_;
    TXLSArea selection_; // A1
    std::shared_ptr<IXLSRange> cellsRange_;
};

// The ordered worksheets of a workbook, which owns them; positions count from 1.
class IXLSWorkSheets {
public:
    explicit IXLSWorkSheets(TXLSWorkbook& workbook);
    ~IXLSWorkSheets();

    // Appends a worksheet named with the workbook's prefix and the first free number from
    // Count() + 1 on; the only worksheet becomes selected and active.
    IXLSWorksheet* Add();
    std::int32_t Count() const { return static_cast<std::int32_t>(sheets_.size()); }
    // The worksheet at position 1..Count(), nullptr outside.
    IXLSWorksheet* Item(std::int32_t position) const;
    IXLSWorksheet* Active() const { return active_; }
    // At most 31 characters, none of [ : * ? / ] \, and not the name of another worksheet
    // (compared exactly, case included).
    bool ValidName(const std::u16string& name, const IXLSWorksheet* except) const;

private:
    TXLSWorkbook& workbook_;
    std::vector<std::unique_ptr<IXLSWorksheet>> sheets_;
    IXLSWorksheet* active_ = nullptr;
    std::int32_t idCounter_ = 0;
};

class IXLSWorkbook {
public:
    virtual ~IXLSWorkbook() = default;
    virtual IXLSWorkSheets& Worksheets() = 0;
    // Saves as a BIFF8 workbook in a compound file under fileName (see SaveWorkbook).
    virtual std::int32_t SaveAs(const std::string& fileName) = 0;
};

class TXLSWorkbook : public TXLSObject, public IXLSWorkbook {
public:
    static std::shared_ptr<TXLSWorkbook> Create();
    ~TXLSWorkbook() override;

    IXLSWorkSheets& Worksheets() override { return *sheets_; }
    std::int32_t SaveAs(const std::string& fileName) override;
    // Saves the compound file into stream in one write.
    std::int32_t SaveToStream(TXLSOutputStream& stream);

    TXLSXFList& XFs() { return *xfs_; }
    TXLSStringTable& Strings() { return *strings_; }
    const TXLSPalette& Palette() const { return palette_; }
    const std::u16string& SheetNamePrefix() const { return sheetNamePrefix_; }

    // Settings written into the workbook globals.
    std::uint16_t dateSystem = 0;    // the 1900 date system
    std::uint16_t referenceMode = 1; // A1 references

private:
    TXLSWorkbook();

    // Declared before the worksheets, which refer to them and so are destroyed first.
    std::unique_ptr<TXLSXFList> xfs_;
    std::unique_ptr<TXLSStringTable> strings_;
    TXLSPalette palette_;
    std::u16string sheetNamePrefix_ = u"Sheet";
    std::unique_ptr<IXLSWorkSheets> sheets_;
};

// ---- storing values and formats

// Replaces the cell's content by value by the storing rules: an empty text makes a blank
// cell, a leading apostrophe is dropped, a text with a line feed switches wrapping on, and a
// text beginning with "=" stays text (no formulas are compiled).
void StoreValue(TXLSCellRef& cell, IXLSWorksheet& sheet, const TXLSValue& value);

// Applies one XF change to an area: entire columns (rows 0..65535), entire rows (columns
// 0..255) or ordinary, keeping every XF reference count equal to its holders.
void ApplyFormat(IXLSWorksheet& sheet, const TXLSArea& area, TXLSXfChange change,
                 const TXLSXfValue& value);

// ---- writing

// The RK form of x, when it has one.
bool EncodeRk(double x, std::uint32_t& rk);

// Record types of the worksheet substream and the cell records (BIFF8).
inline constexpr std::uint16_t kBofRecordType = 0x0809;
inline constexpr std::uint16_t kEofRecordType = 0x000A;
inline constexpr std::uint16_t kLabelSstRecordType = 0x00FD;
inline constexpr std::uint16_t kBlankRecordType = 0x0201;
inline constexpr std::uint16_t kNumberRecordType = 0x0203;
inline constexpr std::uint16_t kRkRecordType = 0x027E;
inline constexpr std::uint16_t kMulRkRecordType = 0x00BD;
inline constexpr std::uint16_t kBoolErrRecordType = 0x0205;
inline constexpr std::uint16_t kBoundSheetRecordType = 0x0085;

// The cell pass of a save: one record per cell into the sheet's cell list, adjacent RK
// numbers of a row as one MULRK. Returns 1.
std::int32_t WriteCells(IXLSWorksheet& sheet);
// Every other record of the worksheet substream, into its header and trailer lists.
std::int32_t WriteSheetRecords(IXLSWorksheet& sheet);

// Builds the globals and every sheet substream and writes the "Workbook" stream into storage.
// 1, or the first failure (-1).
std::int32_t BuildWorkbookStream(TXLSWorkbook& workbook, TXLSStorage& storage);

// Save results.
inline constexpr std::int32_t kSaveOk = 1;
inline constexpr std::int32_t kSaveBlankName = -1;
inline constexpr std::int32_t kSaveCannotCreate = -2;
inline constexpr std::int32_t kSaveNoMemoryFile = -3; // the in-memory compound file
inline constexpr std::int32_t kSaveWriteFailed = -4;  // the file was not completed

// Saves into a compound file under fileName (stream == nullptr), or into stream. The file
// is written beside fileName and renamed over it only when complete: a failed save leaves an
// earlier file of that name as it was. errorMessage receives the reason of a failure.
std::int32_t SaveWorkbook(TXLSWorkbook& workbook, const std::string& fileName,
                          TXLSOutputStream* stream, std::string* errorMessage = nullptr);

} // namespace kelvora
