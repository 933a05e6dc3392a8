#include "engine/xlsxresult.h"

#include "engine/worksheetresult.h"
#include "platform/filepaths.h"
#include "platform/replacingfile.h"
#include "text/drawingtext.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdio>

namespace kelvora {

namespace {

constexpr lxw_color_t kTitleRowColor = 0xFFFFCC; // light yellow, as the .xls title row
// libxlsxwriter refuses a text of more characters (code points).
constexpr std::size_t kLibraryTextLimit = 32767;
// Room for the filter button at the right of a title cell, in characters.
constexpr std::size_t kFilterButtonWidth = 2;

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// True when the text is plain ASCII needing no escape: written as it is, one column per byte.
bool plainAscii(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || (byte < 0x20 && byte != '\t' && byte != '\n') || byte == '_') {
            return false;
        }
    }
    return true;
}

// Drops the last `count` characters of a UTF-8 text.
void dropLastCharacters(std::string& text, std::size_t count) {
    std::size_t end = text.size();
    for (; count > 0 && end > 0; --count) {
        do {
            --end;
        } while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80);
    }
    text.resize(end);
}

// The workbook file: a temporary file beside the result that replaces it when the workbook is
// closed normally, the workbook writing into it by name, and the title format. Its worksheets
// write their rows to unnamed files in the same folder meanwhile.
class XlsxBook {
public:
    explicit XlsxBook(std::string path) : path_(std::move(path)) {
        if (std::string error; !file_.open(path_, error)) {
            fail(error);
            return;
        }
        // The temporary files go into the result's folder.
        folder_ = folderOf(path_);
        if (folder_.empty()) {
            folder_.push_back('.');
        }
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = folder_.data();
        workbook_ = workbook_new_opt(file_.temporaryPath().c_str(), &options);
        if (workbook_ == nullptr) {
            fail(lxw_strerror(LXW_ERROR_MEMORY_MALLOC_FAILED));
            return;
        }
        titleFormat_ = workbook_add_format(workbook_);
        format_set_bg_color(titleFormat_, kTitleRowColor);
    }
    ~XlsxBook() { discard(); }
    XlsxBook(const XlsxBook&) = delete;
    XlsxBook& operator=(const XlsxBook&) = delete;

    // A new worksheet (named "Sheet1", "Sheet2"... without a name); null when the workbook
    // could not be started or the sheet not made.
    lxw_worksheet* addSheet(const std::string& name = {}) {
        if (workbook_ == nullptr) {
            return nullptr;
        }
        lxw_worksheet* sheet =
            workbook_add_worksheet(workbook_, name.empty() ? nullptr : name.c_str());
        if (sheet == nullptr) {
            fail(lxw_strerror(LXW_ERROR_CREATING_TMPFILE));
            return nullptr;
        }
        sheets_.push_back(sheet);
        return sheet;
    }
    lxw_format* titleFormat() const { return titleFormat_; }
    const std::string& folder() const { return folder_; }
    const std::string& error() const { return error_; }
    bool fail(const std::string& reason) {
        if (error_.empty()) {
            error_ = "Cannot write result file '" + path_ + "': " + reason;
        }
        return false;
    }
    // The rows of some worksheet could not be written to its temporary file.
    bool failRows() {
        return fail("the rows could not be written to a temporary file in '" + folder_ +
                    "' (is the disk full?)");
    }

    // Writes the workbook and puts it in place of the result; an aborted or failed workbook
    // is discarded, leaving an earlier file of that name as it was.
    bool close(bool aborted) {
        if (workbook_ == nullptr) {
            discard(); // never started, or closed already
            return aborted || error_.empty();
        }
        if (aborted || !error_.empty()) {
            discard();
            return aborted;
        }
        for (lxw_worksheet* sheet : sheets_) {
            if (sheet->optimize_tmpfile != nullptr && (std::fflush(sheet->optimize_tmpfile) != 0 ||
                                                       std::ferror(sheet->optimize_tmpfile))) {
                failRows();
                discard();
                return false;
            }
        }
        const lxw_error saved = workbook_close(workbook_);
        workbook_ = nullptr; // freed by workbook_close, whatever its outcome
        sheets_.clear();
        if (saved != LXW_NO_ERROR) {
            fail(lxw_strerror(saved));
            discard();
            return false;
        }
        if (std::string error; !file_.commit(error)) {
            return fail(error);
        }
        return true;
    }

private:
    // Frees the workbook without writing it and removes the temporary file.
    void discard() {
        if (workbook_ != nullptr) {
            // lxw_workbook_free leaves the files of the rows open.
            for (lxw_worksheet* sheet : sheets_) {
                if (sheet->optimize_tmpfile != nullptr) {
                    std::fclose(sheet->optimize_tmpfile);
                    sheet->optimize_tmpfile = nullptr;
                    sheet->file = nullptr;
                }
            }
            lxw_workbook_free(workbook_);
            workbook_ = nullptr;
            sheets_.clear();
        }
        file_.abandon();
    }

    std::string path_;
    ReplacingFile file_; // beside path_ until renamed over it
    std::string folder_;
    lxw_workbook* workbook_ = nullptr;
    lxw_format* titleFormat_ = nullptr;
    std::vector<lxw_worksheet*> sheets_;
    std::string error_;
};

// One worksheet of a book: the title row, filled and frozen, then the rows. A result of its own
// closes the book with the worksheet; a worksheet of a combined result leaves that to it.
class XlsxResult : public ResultSink {
public:
    XlsxResult(std::shared_ptr<XlsxBook> book, bool closesBook, const std::string& sheetName,
               const ColumnList& columns, bool numbers)
        : book_(std::move(book)), closesBook_(closesBook), numbers_(numbers),
          sheet_(book_->addSheet(sheetName)) {
        if (sheet_ == nullptr) {
            return;
        }
        worksheet_set_row(sheet_, 0, LXW_DEF_ROW_HEIGHT, book_->titleFormat());
        worksheet_freeze_panes(sheet_, 1, 0);
        writeCell(0, 0, std::string(kBlockNameTitle), book_->titleFormat());
        for (std::size_t k = 0; k < columns.size(); ++k) {
            writeCell(0, k + 1, utf8FromAnsi(columns[k]), book_->titleFormat());
        }
    }

    void writeRow(const Row& row) override {
        if (sheet_ == nullptr) {
            return; // the workbook could not be started: close() says why
        }
        if (nextRow_ >= kXlsxRows) {
            ++rowsDropped_;
            return;
        }
        for (std::size_t k = 0; k < row.size() && !writeFailed_; ++k) {
            const std::optional<double> number =
                numbers_ ? plainDecimalNumber(row[k]) : std::nullopt;
            if (number && k < kXlsxColumns) {
                noteWidth(k, row[k], row[k], 0);
                check(worksheet_write_number(sheet_, static_cast<lxw_row_t>(nextRow_),
                                             static_cast<lxw_col_t>(k), *number, nullptr));
            } else {
                writeCell(static_cast<lxw_row_t>(nextRow_), k, row[k], nullptr);
            }
        }
        ++nextRow_;
    }

    // Rows past the worksheet's last one are only counted.
    void writeRows(const Row& row, long long copies) override {
        if (sheet_ == nullptr) {
            return;
        }
        for (; copies > 0 && nextRow_ < kXlsxRows && !writeFailed_; --copies) {
            writeRow(row);
        }
        if (!writeFailed_) {
            rowsDropped_ += copies;
        }
    }

    // The rows finished so far are in the temporary file: a failure to write them there (a
    // full disk) ends the drawing.
    void flush() override {
        if (sheet_ != nullptr && !writeFailed_ && sheet_->optimize_tmpfile != nullptr &&
            std::ferror(sheet_->optimize_tmpfile)) {
            book_->failRows();
            writeFailed_ = true;
        }
    }

    bool failed() const override { return writeFailed_; }

    bool close(bool aborted) override {
        if (sheet_ != nullptr && !aborted) {
            finishSheet();
        }
        sheet_ = nullptr;
        if (closesBook_) {
            return book_->close(aborted);
        }
        return aborted || (book_->error().empty() && !writeFailed_);
    }

    std::string errorMessage() const override { return book_->error(); }

    bool failureEndsRun() const override { return false; }

    std::vector<std::string> warnings() const override {
        std::vector<std::string> lines;
        if (rowsDropped_ > 0) {
            lines.push_back(rowsBeyondLimitWarning(rowsDropped_));
        }
        if (fieldsDropped_) {
            lines.emplace_back(kXlsxFieldsBeyondLimitWarning);
        }
        if (textsCut_ > 0) {
            lines.push_back(textsCutWarning(textsCut_));
        }
        return lines;
    }

private:
    // Field `column` of a row; the title row's cells carry the fill.
    void writeCell(lxw_row_t row, std::size_t column, const std::string& text, lxw_format* format) {
        if (column >= kXlsxColumns) {
            fieldsDropped_ = true;
            return;
        }
        const auto col = static_cast<lxw_col_t>(column);
        if (text.empty()) {
            if (format != nullptr) {
                lastColumn_ = std::max(lastColumn_, column); // a title without text
                check(worksheet_write_blank(sheet_, row, col, format));
            }
            return;
        }
        const std::string* value = &text;
        const std::string* shown = &text; // the text a reader sees, for the column's width
        if (text.size() > kCellTextLimit || !plainAscii(text)) {
            // The same rule as .xls cells: UTF-8 when valid, else Windows-1252.
            converted_ = isValidUtf8(text) ? text : utf8FromAnsi(text);
            bool cut = cutToCellLimit(converted_);
            value = shown = &converted_;
            if (escapeCellText(converted_, escaped_)) {
                // libxlsxwriter counts the characters of the escaped text.
                for (std::size_t length;
                     (length = lxw_utf8_strlen(escaped_.c_str())) > kLibraryTextLimit; cut = true) {
                    dropLastCharacters(converted_, length - kLibraryTextLimit);
                    if (!escapeCellText(converted_, escaped_)) {
                        escaped_ = converted_;
                    }
                }
                value = &escaped_;
            }
            textsCut_ += cut ? 1 : 0;
        }
        noteWidth(column, text, *shown, format != nullptr ? kFilterButtonWidth : 0);
        check(worksheet_write_string(sheet_, row, col, value->c_str(), format));
    }

    // Widens the column for shown, the text a reader sees of text.
    void noteWidth(std::size_t column, const std::string& text, const std::string& shown,
                   std::size_t extra) {
        if (column >= widths_.size()) {
            widths_.resize(column + 1, 0);
        }
        lastColumn_ = std::max(lastColumn_, column);
        auto& width = widths_[column];
        if (width < kXlsxMaxColumnWidth && shown.size() + extra > width) {
            const std::size_t w = (&shown == &text ? text.size() : displayWidth(shown)) + extra;
            width = static_cast<unsigned char>(
                std::min<std::size_t>(std::max<std::size_t>(width, w), kXlsxMaxColumnWidth));
        }
    }

    // The filter over the whole table and the column widths, set once every row is written:
    // libxlsxwriter writes them into the worksheet when the workbook is closed.
    void finishSheet() {
        const lxw_row_t lastRow = static_cast<lxw_row_t>(nextRow_ - 1);
        worksheet_autofilter(sheet_, 0, 0, lastRow, static_cast<lxw_col_t>(lastColumn_));
        // One call per run of columns of the same width.
        for (std::size_t first = 0; first < widths_.size();) {
            std::size_t last = first;
            while (last + 1 < widths_.size() && widths_[last + 1] == widths_[first]) {
                ++last;
            }
            if (widths_[first] > 0) {
                const double width =
                    std::clamp(widths_[first] + 1.0, LXW_DEF_COL_WIDTH, kXlsxMaxColumnWidth);
                worksheet_set_column(sheet_, static_cast<lxw_col_t>(first),
                                     static_cast<lxw_col_t>(last), width, nullptr);
            }
            first = last + 1;
        }
    }

    void check(lxw_error error) {
        if (error != LXW_NO_ERROR && !writeFailed_) {
            book_->fail(lxw_strerror(error));
            writeFailed_ = true;
        }
    }

    std::shared_ptr<XlsxBook> book_;
    bool closesBook_;
    bool numbers_;
    lxw_worksheet* sheet_;
    long long nextRow_ = 1; // counted from 0, as libxlsxwriter does
    std::size_t lastColumn_ = 0;
    std::vector<unsigned char> widths_; // longest text per column, in characters, capped
    long long rowsDropped_ = 0;
    bool fieldsDropped_ = false;
    long long textsCut_ = 0;
    bool writeFailed_ = false;
    std::string converted_; // reused for texts that are not plain ASCII
    std::string escaped_;
};

// The Office Open XML kind of WorkbookResult.
class XlsxWorkbookResult : public WorkbookResult {
public:
    explicit XlsxWorkbookResult(const std::string& path)
        : book_(std::make_shared<XlsxBook>(path)) {}

    std::unique_ptr<ResultSink> addSheet(const std::string& name, const ColumnList& columns,
                                         bool numbers) override {
        return std::make_unique<XlsxResult>(book_, false, name, columns, numbers);
    }
    bool close(bool aborted) override { return book_->close(aborted); }
    std::string errorMessage() const override { return book_->error(); }

private:
    std::shared_ptr<XlsxBook> book_;
};

} // namespace

std::unique_ptr<WorkbookResult> openXlsxWorkbook(const std::string& path) {
    return std::make_unique<XlsxWorkbookResult>(path);
}

bool escapeCellText(std::string_view text, std::string& out) {
    std::size_t copied = 0; // text[0, copied) is in out
    bool escaped = false;
    auto escape = [&](std::size_t at, std::size_t length, const char* replacement) {
        if (!escaped) {
            out.clear();
            escaped = true;
        }
        out.append(text.substr(copied, at - copied));
        out += replacement;
        copied = at + length;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 && byte != '\t' && byte != '\n') {
            char code[8];
            std::snprintf(code, sizeof code, "_x%04X_", byte);
            escape(i, 1, code);
        } else if (byte == '_' && i + 7 <= text.size() && text[i + 1] == 'x' &&
                   isHex(text[i + 2]) && isHex(text[i + 3]) && isHex(text[i + 4]) &&
                   isHex(text[i + 5]) && text[i + 6] == '_') {
            escape(i, 1, "_x005F_");
        } else if (byte == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            escape(i, 3, text[i + 2] == '\xBE' ? "_xFFFE_" : "_xFFFF_");
            i += 2;
        }
    }
    if (escaped) {
        out.append(text.substr(copied));
    }
    return escaped;
}

std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        char32_t c = lead;
        std::size_t bytes = 1;
        if (lead >= 0xF0) {
            c = lead & 0x07;
            bytes = 4;
        } else if (lead >= 0xE0) {
            c = lead & 0x0F;
            bytes = 3;
        } else if (lead >= 0xC0) {
            c = lead & 0x1F;
            bytes = 2;
        }
        for (std::size_t k = 1; k < bytes && i + k < text.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        i += bytes;
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
                          (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

OpenedSink openXlsxResult(const std::string& path, const ColumnList& columns, bool numbers) {
    return {std::make_unique<XlsxResult>(std::make_shared<XlsxBook>(path), true, std::string(),
                                         columns, numbers),
            {}};
}

} // namespace kelvora
