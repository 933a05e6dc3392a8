// Turning accepted inserts into rows and writing the rows of one drawing into its result.
#pragma once

#include "engine/dxfwalk.h"
#include "engine/rules.h"

#include <map>
#include <memory>
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

struct OpenedSink {
    std::unique_ptr<ResultSink> sink; // null when the result could not be created
    std::string error;                // then: a message naming the path
};
// Creates the result of one drawing with its title row: a .xls worksheet when the extension is
// exactly "xls", an Office Open XML workbook when it is exactly "xlsx", comma-separated text in
// the given form for every other extension.
OpenedSink openSink(const std::string& path, const std::string& extension,
                    const ColumnList& columns, TextForm textForm = TextForm::AsRead,
                    bool textRaw = false);

// The comma-separated text kind, used for every extension but "xls" and "xlsx". Decoded text is
// UTF-8 behind a byte-order mark, the titles decoded as configuration texts are. A field that
// begins like a formula (=, +, @, a tab or a carriage return, or - before anything but a plain
// number) gets a leading apostrophe unless raw is set, so that no spreadsheet program runs it.
OpenedSink openTextResult(const std::string& path, const ColumnList& columns,
                          TextForm form = TextForm::AsRead, bool raw = false);

// The block rule that accepts the insert, or null. Only the first rule whose block pattern
// matches is tested for layer and space.
const BlockRule* selectRule(const RuleSet& rules, const InsertHeader& header);

// Puts the value into the field of the last attribute rule whose name pattern matches the tag.
void placeAttribute(Row& row, const BlockRule& rule, std::string_view tag, std::string_view value);

// The rule test and the row of one insert: block name, layer and tags are matched decoded;
// the row takes the texts in the sink's form. An accepted insert is counted in the tally and
// its row written to the sink, once per copy; returns the number of rows written.
long long readInsert(const InsertRecord& insert, const DrawingText& text, const RuleSet& rules,
                     int highestColumn, ResultSink& sink, BlockTally& tally);

} // namespace kelvora
