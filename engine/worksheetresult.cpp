#include "engine/worksheetresult.h"

#include "text/drawingtext.h"
#include "workbook/workbook.h"

#include <optional>

namespace kelvora {

namespace {

// Palette colour 19 of the default palette: light yellow (FF FF CC).
constexpr std::int32_t kTitleRowColor = 19;
constexpr std::int32_t kWorksheetRows = kMaxRow + 1;
constexpr std::int32_t kWorksheetColumns = kMaxColumn + 1;

// Collects a saved workbook's bytes.
class MemoryStream : public TXLSOutputStream {
public:
    explicit MemoryStream(std::string& bytes) : bytes_(bytes) {}
    std::size_t Write(const void* data, std::size_t count) override {
        bytes_.append(static_cast<const char*>(data), count);
        return count;
    }

private:
    std::string& bytes_;
};

// Saves the workbook under path, or into memory when given: nothing, or a message naming the
// file and the reason.
std::string saveAt(TXLSWorkbook& workbook, const std::string& path, std::string* memory = nullptr) {
    std::string reason;
    std::optional<MemoryStream> stream;
    if (memory)
        stream.emplace(*memory);
    if (SaveWorkbook(workbook, path, stream ? &*stream : nullptr, &reason) == kSaveOk)
        return {};
    return "Cannot write result file '" + path + "': " + reason;
}

class WorksheetResult : public ResultSink {
public:
    // A worksheet added to the workbook; a result of its own (saves) saves the workbook when
    // closed, under path or into memory when given; a worksheet of a combined result leaves
    // that to it.
    WorksheetResult(std::string path, const ColumnList& columns, bool numbers,
                    std::shared_ptr<TXLSWorkbook> workbook, bool saves,
                    const std::string& sheetName = {}, std::string* memory = nullptr)
        : path_(std::move(path)), numbers_(numbers), saves_(saves), memory_(memory),
          workbook_(std::move(workbook)), sheet_(*workbook_->Worksheets().Add()) {
        if (!sheetName.empty()) {
            std::u16string name;
            utf16FromAnsi(sheetName, name);
            sheet_.SetName(name);
        }
        sheet_.Cells()->Item(1, 1)->SetValue(std::string(kBlockNameTitle));
        sheet_.Cells()->EntireRow()->Item(1)->Interior()->SetColorIndex(kTitleRowColor);
        // Made after the fill, the title cells take row 1's format.
        for (std::size_t k = 0; k < columns.size(); ++k)
            setField(1, k + 1, columns[k]);
    }

    void writeRow(const Row& row) override {
        if (nextRow_ > kWorksheetRows) {
            ++rowsDropped_;
            return;
        }
        for (std::size_t k = 0; k < row.size(); ++k)
            setField(nextRow_, k, row[k], numbers_);
        ++nextRow_;
    }

    // Rows past the worksheet's last one are only counted.
    void writeRows(const Row& row, long long copies) override {
        for (; copies > 0 && nextRow_ <= kWorksheetRows; --copies) {
            writeRow(row);
        }
        rowsDropped_ += copies;
    }

    // Everything is kept in memory until the end of the drawing.
    bool failed() const override { return false; }

    bool close(bool aborted) override {
        if (aborted || !saves_)
            return true; // no result for an aborted drawing; an earlier file stays
        error_ = saveAt(*workbook_, path_, memory_);
        return error_.empty();
    }

    std::string errorMessage() const override { return error_; }

    bool failureEndsRun() const override { return false; }

    std::vector<std::string> warnings() const override {
        std::vector<std::string> lines;
        if (rowsDropped_ > 0)
            lines.push_back(rowsBeyondLimitWarning(rowsDropped_));
        if (fieldsDropped_)
            lines.emplace_back(kFieldsBeyondLimitWarning);
        if (textsCut_ > 0)
            lines.push_back(textsCutWarning(textsCut_));
        return lines;
    }

private:
    // Field k of a row goes to column k + 1; columns past IV do not exist.
    // A number cell for a plain decimal number when asNumber.
    void setField(std::int32_t row, std::size_t field, const std::string& value,
                  bool asNumber = false) {
        if (field >= static_cast<std::size_t>(kWorksheetColumns)) {
            fieldsDropped_ = true;
            return;
        }
        const auto cell = sheet_.Cells()->Item(row, static_cast<std::int32_t>(field) + 1);
        if (asNumber) {
            if (const std::optional<double> number = plainDecimalNumber(value)) {
                cell->SetValue(*number);
                return;
            }
        }
        if (value.size() <= kCellTextLimit) {
            cell->SetValue(value);
            return;
        }
        std::string cut = value;
        textsCut_ += cutToCellLimit(cut) ? 1 : 0;
        cell->SetValue(cut);
    }

    std::string path_;
    bool numbers_;
    bool saves_;
    std::string* memory_; // saved there instead of path_ when set
    std::shared_ptr<TXLSWorkbook> workbook_;
    IXLSWorksheet& sheet_;
    std::int32_t nextRow_ = 2;
    long long rowsDropped_ = 0;
    bool fieldsDropped_ = false;
    long long textsCut_ = 0;
    std::string error_;
};

} // namespace

// The workbook kind of WorkbookResult: worksheets in the object model, saved at the close.
class XlsWorkbookResult : public WorkbookResult {
public:
    explicit XlsWorkbookResult(std::string path)
        : path_(std::move(path)), workbook_(TXLSWorkbook::Create()) {}

    std::unique_ptr<ResultSink> addSheet(const std::string& name, const ColumnList& columns,
                                         bool numbers) override {
        return std::make_unique<WorksheetResult>(path_, columns, numbers, workbook_, false, name);
    }

    bool close(bool aborted) override {
        if (aborted)
            return true;
        error_ = saveAt(*workbook_, path_);
        return error_.empty();
    }

    std::string errorMessage() const override { return error_; }

private:
    std::string path_;
    std::shared_ptr<TXLSWorkbook> workbook_;
    std::string error_;
};

std::string rowsBeyondLimitWarning(long long rows) {
    return "*** Warning, " + std::to_string(rows) +
           " rows beyond the worksheet limit were not written ***";
}

std::string textsCutWarning(long long texts) {
    return "*** Warning, " + std::to_string(texts) + " texts longer than " +
           std::to_string(kCellTextLimit) + " characters were cut ***";
}

bool cutToUtf16Units(std::string& text, std::size_t limit) {
    if (text.size() <= limit) {
        return false; // never more code units than bytes
    }
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        units += bytes == 4 ? 2 : 1; // a surrogate pair in UTF-16
        if (units > limit) {
            text.resize(i);
            return true;
        }
        i += bytes;
    }
    return false;
}

std::unique_ptr<WorkbookResult> openXlsWorkbook(const std::string& path) {
    return std::make_unique<XlsWorkbookResult>(path);
}

OpenedSink openWorksheetResult(const std::string& path, const ColumnList& columns, bool numbers) {
    return {std::make_unique<WorksheetResult>(path, columns, numbers, TXLSWorkbook::Create(), true),
            {}};
}

std::unique_ptr<ResultSink> openWorksheetInMemory(const ColumnList& columns, bool numbers,
                                                  std::string& bytes) {
    return std::make_unique<WorksheetResult>(std::string(), columns, numbers,
                                             TXLSWorkbook::Create(), true, std::string(), &bytes);
}

} // namespace kelvora
