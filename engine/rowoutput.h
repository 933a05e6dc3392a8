// Turning accepted inserts into rows and writing the rows of one drawing into its result.
#pragma once

#include "engine/dxfwalk.h"
#include "engine/insertfields.h"
#include "engine/rules.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvora {

// What the header of an insert holds for the rule test: the decoded block name and layer, ASCII
// letters upper-cased.
struct InsertHeader {
    std::string blockName;
    std::string layer;
    std::string space = "Model Space";
};

// How a result takes the drawing's texts: decoded to UTF-8 (workbooks; text results on request)
// or as the drawing's bytes (text results by default).
enum class TextForm { AsRead, Decoded };

// highestColumn + 1 fields: field 0 the block name, field k the value for column k.
using Row = std::vector<std::string>;

// Rows written per block name for the drawing being processed, in name order.
using BlockTally = std::map<std::string, long long>;

// The result of one drawing. The title row is written when the sink is opened.
class ResultSink {
public:
    virtual ~ResultSink() = default;
    virtual void writeRow(const Row& row) = 0;
    // The same row written copies times, as for the copies of an array insert.
    virtual void writeRows(const Row& row, long long copies) {
        for (long long i = 0; i < copies && !failed(); ++i) {
            writeRow(row);
        }
    }
    // Hands rows still held in memory to the file; called whenever the run fetches the next
    // block of the drawing.
    virtual void flush() {}
    // True once a write has failed; the rest of the drawing need not be read.
    virtual bool failed() const = 0;
    // Ends the result; aborted means the run was stopped during this drawing. Returns false
    // when the result could not be written completely (errorMessage() says why).
    virtual bool close(bool aborted) = 0;
    // A message naming the result file, once something failed.
    virtual std::string errorMessage() const = 0;
    // Lines for the run report, such as rows that a result kind could not hold.
    virtual std::vector<std::string> warnings() const = 0;
    // Whether a failure of this result ends the run. A text result that cannot be written
    // is an input/output failure that ends it; a workbook that cannot be saved is reported
    // and the run goes on with the next drawing.
    virtual bool failureEndsRun() const { return true; }
    virtual TextForm textForm() const { return TextForm::Decoded; }
};

// How a result shapes its rows beyond one row of texts per insert.
struct ResultChoices {
    // Rows whose fields are all equal become one row, in the order of their first appearance,
    // with a "Quantity" column at the end counting the inserts it stands for.
    bool quantities = false;
    // In workbooks, a value that is a plain decimal number is stored as a number.
    bool numbers = false;
    // Text results keep fields that look like formulas as read, without an apostrophe.
    bool textRaw = false;
    // When not empty: one result of this name (and the extension) for all drawings of a run.
    std::string combine;
};

inline constexpr std::string_view kQuantityTitle = "Quantity";

// A workbook of several worksheets, each filled as a result of its own, written into one file
// when the workbook is closed.
class WorkbookResult {
public:
    virtual ~WorkbookResult() = default;
    // Appends a worksheet of that name with "Block Name" and the titles in row 1. Closing it
    // ends the worksheet only.
    virtual std::unique_ptr<ResultSink> addSheet(const std::string& name, const ColumnList& columns,
                                                 bool numbers) = 0;
    // Writes the workbook; an aborted one is not written. False when it could not be.
    virtual bool close(bool aborted) = 0;
    virtual std::string errorMessage() const = 0;
};

struct OpenedSink {
    std::unique_ptr<ResultSink> sink; // null when the result could not be created
    std::string error;                // then: a message naming the path
};
// Creates the result of one drawing with its title row: a .xls worksheet when the extension is
// exactly "xls", an Office Open XML workbook when it is exactly "xlsx", comma-separated text in
// the given form for every other extension. With quantities, the "Quantity" column follows
// both the last title and the last field of rows of highestColumn + 1 fields.
OpenedSink openSink(const std::string& path, const std::string& extension,
                    const ColumnList& columns, TextForm textForm = TextForm::AsRead,
                    const ResultChoices& choices = {}, int highestColumn = 0);

// The value of a plain decimal number: an optional minus sign, an integer part without a
// leading zero (unless it is "0"), optionally a "." and digits, at most 15 significant digits
// in all. Anything else ("007", "1e5", "+1", "1,5", "12 mm", ".5") is none.
std::optional<double> plainDecimalNumber(std::string_view text);

// The comma-separated text kind, used for every extension but "xls" and "xlsx". Decoded text is
// UTF-8 behind a byte-order mark, the titles decoded as configuration texts are. A field that
// begins like a formula (=, +, @, a tab or a carriage return, or - before anything but a plain
// number) gets a leading apostrophe unless raw is set, so that no spreadsheet program runs it.
// A first title, when given, comes before "Block Name".
OpenedSink openTextResult(const std::string& path, const ColumnList& columns,
                          TextForm form = TextForm::AsRead, bool raw = false,
                          std::string_view firstTitle = {});

// The titles of a result with quantities: the columns, as many as the rows' fields need, then
// "Quantity".
ColumnList quantityTitles(const ColumnList& columns, int highestColumn);
// Counts the rows written to it and writes the distinct rows, each with its count in field
// quantityField (titles.size() of quantityTitles), into inner when closed.
std::unique_ptr<ResultSink> withQuantities(std::unique_ptr<ResultSink> inner,
                                           std::size_t quantityField);

// The block rule that accepts the insert, or null. Only the first rule whose block pattern
// matches is tested for layer and space.
const BlockRule* selectRule(const RuleSet& rules, const InsertHeader& header);

// Puts the value into the field of the last attribute rule whose name pattern matches the tag;
// a rule naming an insert field matches no tag.
void placeAttribute(Row& row, const BlockRule& rule, std::string_view tag, std::string_view value);

// The rule test and the row of one insert: block name, layer and tags are matched decoded;
// the row takes the texts in the sink's form. An accepted insert is counted in the tally and
// its row written to the sink, once per copy; returns the number of rows written. The rule's
// insert fields are placed after its attributes, from the insert and fields.
long long readInsert(const InsertRecord& insert, const DrawingText& text, const RuleSet& rules,
                     int highestColumn, ResultSink& sink, BlockTally& tally,
                     const FieldSource& fields = {});

} // namespace kelvora
