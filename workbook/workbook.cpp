#include "workbook.h"

#include "text/drawingtext.h"

namespace kelvora {

namespace {

// A rectangle of one worksheet behind IXLSRange and its rows view.
class TXLSRange : public TXLSObject, public IXLSRange, public IXLSRowsRange {
public:
    TXLSRange(IXLSWorksheet& sheet, const TXLSArea& area) : sheet_(sheet), area_(area) {}

    std::shared_ptr<IXLSRange> Item(std::int32_t row, std::int32_t column) override {
        const std::int64_t r = std::int64_t(area_.firstRow) + row - 1;
        const std::int64_t c = std::int64_t(area_.firstColumn) + column - 1;
        if (r < 0 || c < 0 || r > kMaxRow || c > kMaxColumn)
            return nullptr;
        const auto row16 = static_cast<std::uint16_t>(r);
        const auto column8 = static_cast<std::uint8_t>(c);
        return std::make_shared<TXLSRange>(sheet_, TXLSArea{row16, row16, column8, column8});
    }

    void SetValue(const TXLSValue& value) override {
        for (std::int32_t r = area_.firstRow; r <= area_.lastRow; ++r)
            for (std::int32_t c = area_.firstColumn; c <= area_.lastColumn; ++c)
                StoreValue(sheet_.CellStore().GetCell(r, c), sheet_, value);
    }

    std::shared_ptr<IXLSRowsRange> EntireRow() override {
        return std::make_shared<TXLSRange>(
            sheet_, TXLSArea{area_.firstRow, area_.lastRow, 0, std::uint8_t(kMaxColumn)});
    }

    std::shared_ptr<IXLSInterior> Interior() override;

    std::shared_ptr<IXLSRange> Item(std::int32_t index) override {
        const auto row = static_cast<std::uint16_t>(area_.firstRow + index - 1);
        return std::make_shared<TXLSRange>(sheet_,
                                           TXLSArea{row, row, area_.firstColumn, area_.lastColumn});
    }

    IXLSWorksheet& Sheet() const { return sheet_; }
    const TXLSArea& Area() const { return area_; }

private:
    IXLSWorksheet& sheet_;
    TXLSArea area_;
};

// The fill of a range. It keeps its range alive, so it can outlive the caller's reference.
class TXLSInterior : public TXLSObject, public IXLSInterior {
public:
    explicit TXLSInterior(std::shared_ptr<TXLSRange> range) : range_(std::move(range)) {}

    void SetColorIndex(std::int32_t colorNumber) override {
        std::int32_t entry;
        if (colorNumber == 0 || colorNumber == kColorIndexNone)
            entry = 0;
        else if (colorNumber >= 1 && colorNumber <= kColorNumberCount)
            entry = colorNumber + kColorNumberOffset;
        else if (colorNumber == kColorIndexAutomatic)
            entry = kSystemBackgroundColor;
        else
            return;
        ApplyFormat(range_->Sheet(), range_->Area(), TXLSXfChange::FillColor,
                    TXLSXfValue::Number(entry));
    }

private:
    std::shared_ptr<TXLSRange> range_;
};

std::shared_ptr<IXLSInterior> TXLSRange::Interior() {
    return std::make_shared<TXLSInterior>(std::static_pointer_cast<TXLSRange>(shared_from_this()));
}

// Derives XFs for a run of holders, deriving once per run of equal sources. Every holder
// takes one reference to its new XF and gives up the one it held (cells, rows and columns
// hold their XF when it is above 0).
class XfDeriver {
public:
    XfDeriver(TXLSXFList& xfs, TXLSXfChange change, const TXLSXfValue& value)
        : xfs_(xfs), change_(change), value_(value) {}

    void Forget() { source_ = -1; }

    // The XF for a holder that now holds `held` and whose format comes from `source`.
    std::int32_t Next(std::int32_t held, std::int32_t source) {
        if (source == source_ && source_ >= 0) {
            xfs_.AddReference(result_);
        } else {
            result_ = xfs_.DeriveXf(source, change_, value_, false);
            source_ = source;
        }
        if (held > 0)
            xfs_.MoveReference(held, 0); // 0 is fixed: this only gives the old one up
        return result_;
    }

private:
    TXLSXFList& xfs_;
    TXLSXfChange change_;
    const TXLSXfValue& value_;
    std::int32_t source_ = -1;
    std::int32_t result_ = 0;
};

void DeriveCell(IXLSWorksheet& sheet, XfDeriver& deriver, TXLSCellRef& cell) {
    const auto source =
        EffectiveXF(sheet.CellStore(), sheet.Columns(), sheet.Rows(), cell.row, cell.column);
    cell.xf = deriver.Next(cell.xf, source.xf);
}

void ApplyToColumns(IXLSWorksheet& sheet, const TXLSArea& area, XfDeriver& deriver) {
    const TXLSUsedArea& used = sheet.CellStore().UsedArea();
    for (std::int32_t c = area.firstColumn; c <= area.lastColumn; ++c) {
        const std::int32_t held = sheet.Columns().ColumnXF(c);
        sheet.Columns().SetColumnXF(c, deriver.Next(held, held));
        deriver.Forget();
        if (sheet.CellStore().Empty())
            continue;
        for (std::int32_t r = used.firstRow; r <= used.lastRow; ++r)
            if (TXLSCellRef* cell = sheet.CellStore().FindCell(r, c))
                DeriveCell(sheet, deriver, *cell);
    }
}

void ApplyToRows(IXLSWorksheet& sheet, const TXLSArea& area, XfDeriver& deriver) {
    TXLSCellHeap& store = sheet.CellStore();
    const TXLSColumnInfoList& columns = sheet.Columns();
    // The used columns, widened by the formatted columns; A1's column when nothing is used.
    std::int32_t first = store.Empty() ? 0 : store.UsedArea().firstColumn;
    std::int32_t last = store.Empty() ? 0 : store.UsedArea().lastColumn;
    if (columns.Count() > 0) {
        first = std::min(first, columns.First());
        last = std::max(last, columns.Last());
    }
    for (std::int32_t r = area.firstRow; r <= area.lastRow; ++r) {
        const TXLSRowInfo* entry = sheet.Rows().Find(r);
        const std::int32_t held = entry ? entry->xf : 0;
        sheet.Rows().SetRowXF(r, deriver.Next(held, held));
        deriver.Forget();
        for (std::int32_t c = first; c <= last; ++c) {
            if (TXLSCellRef* cell = store.FindCell(r, c)) {
                DeriveCell(sheet, deriver, *cell);
            } else if (const TXLSColumnInfo* column = columns.Find(c)) {
                // A cell here keeps the column's format from hiding the row's.
                TXLSCellRef& made = store.GetCell(r, c);
                made.xf = deriver.Next(made.xf, column->xf);
            }
        }
    }
}

} // namespace

// ---- storing

void StoreValue(TXLSCellRef& cell, IXLSWorksheet& sheet, const TXLSValue& value) {
    TXLSStringTable& strings = sheet.Workbook().Strings();
    if (cell.kind == TXLSCellKind::Text) {
        strings.ReleaseString(cell.stringId);
        cell.stringId = -1;
        cell.kind = TXLSCellKind::Blank;
    }
    if (std::holds_alternative<std::monostate>(value)) {
        cell.kind = TXLSCellKind::Blank;
    } else if (const double* number = std::get_if<double>(&value)) {
        cell.kind = TXLSCellKind::Number;
        cell.number = *number;
    } else if (const bool* flag = std::get_if<bool>(&value)) {
        cell.kind = TXLSCellKind::Boolean;
        cell.number = *flag ? 1 : 0;
    } else if (const TXLSDate* date = std::get_if<TXLSDate>(&value)) {
        cell.kind = TXLSCellKind::Date;
        cell.number = date->serial;
    } else {
        // One buffer for every text stored: most texts are short and stored once.
        thread_local std::u16string text;
        if (const std::string_view* ansi = std::get_if<std::string_view>(&value))
            utf16FromAnsi(*ansi, text);
        else
            text = std::get<std::u16string_view>(value);
        if (text.empty()) {
            cell.kind = TXLSCellKind::Blank;
            return;
        }
        // Formulas are never compiled: a text beginning with "=" is kept whole as text, so
        // no value from outside becomes a live formula. A leading apostrophe is dropped.
        if (text.front() == u'\'')
            text.erase(0, 1);
        if (text.find(u'\n') != std::u16string::npos) {
            const TXLSArea single{cell.row, cell.row, cell.column, cell.column};
            ApplyFormat(sheet, single, TXLSXfChange::WrapText, TXLSXfValue::Number(1));
        }
        cell.stringId = strings.AddString(text);
        cell.kind = TXLSCellKind::Text;
    }
}

void ApplyFormat(IXLSWorksheet& sheet, const TXLSArea& area, TXLSXfChange change,
                 const TXLSXfValue& value) {
    XfDeriver deriver(sheet.Workbook().XFs(), change, value);
    if (area.firstRow == 0 && area.lastRow == kMaxRow) {
        ApplyToColumns(sheet, area, deriver);
    } else if (area.firstColumn == 0 && area.lastColumn == kMaxColumn) {
        ApplyToRows(sheet, area, deriver);
    } else {
        for (std::int32_t r = area.firstRow; r <= area.lastRow; ++r)
            for (std::int32_t c = area.firstColumn; c <= area.lastColumn; ++c)
                DeriveCell(sheet, deriver, sheet.CellStore().GetCell(r, c));
    }
}

// ---- worksheets

IXLSWorksheet::IXLSWorksheet(TXLSWorkbook& workbook, std::u16string name, std::int32_t id)
    : workbook_(workbook), name_(std::move(name)), id_(id),
      cells_(columns_, rows_, workbook.XFs()) {
    cellsRange_ = std::make_shared<TXLSRange>(
        *this, TXLSArea{0, std::uint16_t(kMaxRow), 0, std::uint8_t(kMaxColumn)});
}

IXLSWorksheet::~IXLSWorksheet() = default;

bool IXLSWorksheet::SetName(const std::u16string& name) {
    if (!workbook_.Worksheets().ValidName(name, this))
        return false;
    name_ = name;
    return true;
}

IXLSWorkSheets::IXLSWorkSheets(TXLSWorkbook& workbook) : workbook_(workbook) {}
IXLSWorkSheets::~IXLSWorkSheets() = default;

bool IXLSWorkSheets::ValidName(const std::u16string& name, const IXLSWorksheet* except) const {
    if (name.size() > 31 || name.find_first_of(u"[:*?/]\\") != std::u16string::npos)
        return false;
    for (const auto& sheet : sheets_)
        if (sheet.get() != except && sheet->Name() == name)
            return false;
    return true;
}

IXLSWorksheet* IXLSWorkSheets::Add() {
    std::int32_t n = Count() + 1;
    std::u16string name;
    for (;; ++n) {
        const std::string digits = std::to_string(n);
        name = workbook_.SheetNamePrefix() + std::u16string(digits.begin(), digits.end());
        if (ValidName(name, nullptr))
            break;
    }
    auto sheet = std::make_unique<IXLSWorksheet>(workbook_, std::move(name), ++idCounter_);
    sheet->position_ = Count() + 1;
    IXLSWorksheet* added = sheet.get();
    sheets_.push_back(std::move(sheet));
    if (Count() == 1) {
        added->selected_ = true;
        active_ = added;
    }
    return added;
}

IXLSWorksheet* IXLSWorkSheets::Item(std::int32_t position) const {
    if (position < 1 || position > Count())
        return nullptr;
    return sheets_[position - 1].get();
}

// ---- workbook

TXLSWorkbook::TXLSWorkbook()
    : xfs_(std::make_unique<TXLSXFList>()), strings_(std::make_unique<TXLSStringTable>()),
      sheets_(std::make_unique<IXLSWorkSheets>(*this)) {}

TXLSWorkbook::~TXLSWorkbook() = default;

std::shared_ptr<TXLSWorkbook> TXLSWorkbook::Create() {
    return std::shared_ptr<TXLSWorkbook>(new TXLSWorkbook());
}

std::int32_t TXLSWorkbook::SaveAs(const std::string& fileName) {
    return SaveWorkbook(*this, fileName, nullptr);
}

std::int32_t TXLSWorkbook::SaveToStream(TXLSOutputStream& stream) {
    return SaveWorkbook(*this, std::string(), &stream);
}

} // namespace kelvora
