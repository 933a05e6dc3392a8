#include "engine/worksheetresult.h"

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

class WorksheetResult : public ResultSink {
public:
    WorksheetResult(std::string path, const ColumnList& columns, std::string* memory = nullptr)
        : path_(std::move(path)), memory_(memory), workbook_(TXLSWorkbook::Create()),
          sheet_(*workbook_->Worksheets().Add()) {
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
            setField(nextRow_, k, row[k]);
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
        if (aborted)
            return true; // no result for an aborted drawing; an earlier file stays
        std::string reason;
        std::optional<MemoryStream> memory;
        if (memory_)
            memory.emplace(*memory_);
        if (SaveWorkbook(*workbook_, path_, memory ? &*memory : nullptr, &reason) == kSaveOk)
            return true;
        error_ = "Cannot write result file '" + path_ + "': " + reason;
        return false;
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
    void setField(std::int32_t row, std::size_t field, const std::string& value) {
        if (field >= static_cast<std::size_t>(kWorksheetColumns)) {
            fieldsDropped_ = true;
            return;
        }
        const auto cell = sheet_.Cells()->Item(row, static_cast<std::int32_t>(field) + 1);
        if (value.size() <= kCellTextLimit) {
            cell->SetValue(value);
            return;
        }
        std::string cut = value;
        textsCut_ += cutToCellLimit(cut) ? 1 : 0;
        cell->SetValue(cut);
    }

    std::string path_;
    std::string* memory_;                    // saved there instead of path_ when set
    std::shared_ptr<TXLSWorkbook> workbook_; // the one reference, held for this drawing
    IXLSWorksheet& sheet_;
    std::int32_t nextRow_ = 2;
    long long rowsDropped_ = 0;
    bool fieldsDropped_ = false;
    long long textsCut_ = 0;
    std::string error_;
};

} // namespace

std::string rowsBeyondLimitWarning(long long rows) {
    return "*** Warning, " + std::to_string(rows) +
           " rows beyond the worksheet limit were not written ***";
}

std::string textsCutWarning(long long texts) {
    return "*** Warning, " + std::to_string(texts) + " texts longer than " +
           std::to_string(kCellTextLimit) + " characters were cut ***";
}

bool cutToCellLimit(std::string& text) {
    if (text.size() <= kCellTextLimit) {
        return false; // never more code units than bytes
    }
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        units += bytes == 4 ? 2 : 1; // a surrogate pair in UTF-16
        if (units > kCellTextLimit) {
            text.resize(i);
            return true;
        }
        i += bytes;
    }
    return false;
}

OpenedSink openWorksheetResult(const std::string& path, const ColumnList& columns) {
    return {std::make_unique<WorksheetResult>(path, columns), {}};
}

std::unique_ptr<ResultSink> openWorksheetInMemory(const ColumnList& columns, std::string& bytes) {
    return std::make_unique<WorksheetResult>(std::string(), columns, &bytes);
}

} // namespace kelvora
