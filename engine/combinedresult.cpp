#include "engine/combinedresult.h"

#include "engine/worksheetresult.h"
#include "engine/xlsxresult.h"
#include "platform/filepaths.h"
#include "text/ascii.h"
#include "text/drawingtext.h"

#include <map>
#include <set>

namespace kelvora {

namespace {

constexpr std::size_t kSheetNameLimit = 31; // UTF-16 code units

// A drawing's sink that puts the drawing's name before each row, into the shared text file.
class DrawingColumnSink : public ResultSink {
public:
    DrawingColumnSink(ResultSink& file, std::string name) : file_(file), name_(std::move(name)) {}
    void writeRow(const Row& row) override {
        row_.assign(1, name_);
        row_.insert(row_.end(), row.begin(), row.end());
        file_.writeRow(row_);
    }
    void flush() override { file_.flush(); }
    bool failed() const override { return file_.failed(); }
    bool close(bool /*aborted: the rows written so far stay*/) override { return !failed(); }
    std::string errorMessage() const override { return file_.errorMessage(); }
    std::vector<std::string> warnings() const override { return {}; }
    TextForm textForm() const override { return file_.textForm(); }

private:
    ResultSink& file_;
    std::string name_;
    Row row_;
};

// Hands every row to the drawing's sink and counts it for the summary: by block name, or by
// the whole row when rows are combined.
class CountingSink : public ResultSink {
public:
    using Counts = std::map<Row, std::pair<std::size_t, std::vector<long long>>>;
    CountingSink(std::unique_ptr<ResultSink> inner, Counts& counts, std::size_t drawing,
                 std::size_t drawingCount, bool wholeRows)
        : inner_(std::move(inner)), counts_(counts), drawing_(drawing), drawingCount_(drawingCount),
          wholeRows_(wholeRows) {}

    void writeRow(const Row& row) override { writeRows(row, 1); }
    void writeRows(const Row& row, long long copies) override {
        key_.assign(row.begin(), wholeRows_ || row.empty() ? row.end() : row.begin() + 1);
        auto [entry, added] = counts_.try_emplace(key_);
        if (added) {
            entry->second.first = counts_.size() - 1; // the order of first appearance
            entry->second.second.assign(drawingCount_, 0);
        }
        entry->second.second[drawing_] += copies;
        inner_->writeRows(row, copies);
    }
    void flush() override { inner_->flush(); }
    bool failed() const override { return inner_->failed(); }
    bool close(bool aborted) override { return inner_->close(aborted); }
    std::string errorMessage() const override { return inner_->errorMessage(); }
    std::vector<std::string> warnings() const override { return inner_->warnings(); }
    bool failureEndsRun() const override { return inner_->failureEndsRun(); }
    TextForm textForm() const override { return inner_->textForm(); }

private:
    std::unique_ptr<ResultSink> inner_;
    Counts& counts_;
    std::size_t drawing_;
    std::size_t drawingCount_;
    bool wholeRows_;
    Row key_;
};

class CombinedText : public CombinedResult {
public:
    CombinedText(std::unique_ptr<ResultSink> file, std::vector<std::string> drawings,
                 const ResultChoices& choices, std::size_t quantityField)
        : file_(std::move(file)), drawings_(std::move(drawings)), choices_(choices),
          quantityField_(quantityField) {}

    OpenedSink beginDrawing(std::size_t drawing) override {
        std::unique_ptr<ResultSink> sink =
            std::make_unique<DrawingColumnSink>(*file_, drawings_[drawing]);
        if (choices_.quantities) {
            sink = withQuantities(std::move(sink), quantityField_);
        }
        return {std::move(sink), {}};
    }
    bool close(bool aborted) override { return file_->close(aborted); }
    std::string errorMessage() const override { return file_->errorMessage(); }

private:
    std::unique_ptr<ResultSink> file_;
    std::vector<std::string> drawings_;
    ResultChoices choices_;
    std::size_t quantityField_;
};

class CombinedWorkbook : public CombinedResult {
public:
    CombinedWorkbook(std::unique_ptr<WorkbookResult> workbook,
                     const std::vector<std::string>& drawings, ColumnList titles,
                     const ResultChoices& choices)
        : workbook_(std::move(workbook)), names_(sheetNames(drawings)), titles_(std::move(titles)),
          choices_(choices) {
        // Without quantities the summary counts block names; with them, the combined rows.
        ColumnList summaryTitles;
        if (choices_.quantities) {
            summaryTitles.assign(titles_.begin(), titles_.end() - 1);
        }
        keyFields_ = summaryTitles.size() + 1;
        summaryTitles.insert(summaryTitles.end(), names_.begin(), names_.end());
        summaryTitles.emplace_back(kTotalTitle);
        summary_ =
            workbook_->addSheet(std::string(kSummarySheetName), summaryTitles, choices_.numbers);
    }

    OpenedSink beginDrawing(std::size_t drawing) override {
        std::unique_ptr<ResultSink> sink =
            workbook_->addSheet(names_[drawing], titles_, choices_.numbers);
        if (choices_.quantities) {
            sink = withQuantities(std::move(sink), titles_.size());
        }
        return {std::make_unique<CountingSink>(std::move(sink), counts_, drawing, names_.size(),
                                               choices_.quantities),
                {}};
    }

    bool close(bool aborted) override {
        std::vector<const CountingSink::Counts::value_type*> order(counts_.size());
        for (const auto& entry : counts_) {
            order[entry.second.first] = &entry;
        }
        Row row;
        for (const auto* entry : order) {
            row = entry->first;
            row.resize(keyFields_);
            long long total = 0;
            for (const long long count : entry->second.second) {
                row.push_back(std::to_string(count));
                total += count;
            }
            row.push_back(std::to_string(total));
            summary_->writeRow(row);
        }
        summary_->close(aborted);
        return workbook_->close(aborted);
    }
    std::string errorMessage() const override { return workbook_->errorMessage(); }

private:
    std::unique_ptr<WorkbookResult> workbook_;
    std::vector<std::string> names_;
    ColumnList titles_;
    ResultChoices choices_;
    std::unique_ptr<ResultSink> summary_;
    std::size_t keyFields_ = 1;
    CountingSink::Counts counts_;
};

} // namespace

std::vector<std::string> sheetNames(const std::vector<std::string>& drawings) {
    std::vector<std::string> names;
    std::set<std::string> taken{asciiUpper(kSummarySheetName)}; // upper-cased
    for (const std::string& drawing : drawings) {
        std::string base = utf8FromAnsi(fileNameOf(drawing));
        if (const std::size_t dot = base.rfind('.'); dot != std::string::npos && dot > 0) {
            base.resize(dot);
        }
        for (char& c : base) {
            if (std::string_view("[]:*?/\\").find(c) != std::string_view::npos) {
                c = '_';
            }
        }
        if (base.empty()) {
            base = "Sheet";
        }
        std::string name = base;
        cutToUtf16Units(name, kSheetNameLimit);
        for (int number = 2; taken.contains(asciiUpper(name)); ++number) {
            const std::string suffix = " (" + std::to_string(number) + ")";
            name = base;
            cutToUtf16Units(name, kSheetNameLimit - suffix.size());
            name += suffix;
        }
        taken.insert(asciiUpper(name));
        names.push_back(name);
    }
    return names;
}

OpenedCombined openCombinedResult(const std::string& path, const std::string& extension,
                                  const std::vector<std::string>& drawings,
                                  const ColumnList& columns, TextForm textForm,
                                  const ResultChoices& choices, int highestColumn) {
    const ColumnList titles = choices.quantities ? quantityTitles(columns, highestColumn) : columns;
    if (extension == "xls" || extension == "xlsx") {
        auto workbook = extension == "xls" ? openXlsWorkbook(path) : openXlsxWorkbook(path);
        if (!workbook) {
            return {nullptr,
                    "Cannot create result file '" + path + "': " + std::string(kXlsxUnavailable)};
        }
        return {std::make_unique<CombinedWorkbook>(std::move(workbook), drawings, titles, choices),
                {}};
    }
    OpenedSink file = openTextResult(path, titles, textForm, choices.textRaw, kDrawingTitle);
    if (!file.sink) {
        return {nullptr, file.error};
    }
    std::vector<std::string> names;
    for (const std::string& drawing : drawings) {
        names.push_back(fileNameOf(drawing));
    }
    return {std::make_unique<CombinedText>(std::move(file.sink), std::move(names), choices,
                                           titles.size()),
            {}};
}

} // namespace kelvora
