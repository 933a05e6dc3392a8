#include "engine/rowoutput.h"

#include "engine/worksheetresult.h"
#include "engine/xlsxresult.h"

#include "platform/replacingfile.h"

#include <algorithm>

namespace kelvora {

namespace {

// Whether the field is a plain decimal number: an optional minus sign, digits, and an optional
// "." with more digits.
bool plainNumber(std::string_view field) {
    if (field.starts_with('-')) {
        field.remove_prefix(1);
    }
    const std::size_t dot = field.find('.');
    const std::string_view whole = field.substr(0, dot);
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view() : field.substr(dot + 1);
    auto digits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return !whole.empty() && digits(whole) &&
           (dot == std::string_view::npos || (!fraction.empty() && digits(fraction)));
}

// Comma-separated text, written beside its target and renamed over it when closed, so that a
// run that fails or is killed leaves an earlier result of that name as it was. Rows are
// written through a buffer that goes to the file whenever it holds 64 KiB and whenever the run
// fetches the next block of the drawing (see flush); a write per field would cost a system
// call each and make a run several times slower.
class TextResult : public ResultSink {
public:
    TextResult(std::string path, TextForm form, bool raw)
        : path_(std::move(path)), form_(form), raw_(raw) {
        if (form == TextForm::Decoded) {
            pending_ = "\xEF\xBB\xBF"; // UTF-8 byte-order mark, for spreadsheet programs
        }
    }

    bool open(std::string& error) { return file_.open(path_, error); }

    void writeFields(const std::vector<std::string>& fields) {
        for (std::size_t k = 0; k < fields.size(); ++k) {
            if (k > 0) {
                pending_ += ',';
            }
            appendField(fields[k]);
        }
        pending_ += "\r\n";
        if (pending_.size() >= kFlushSize) {
            flush();
        }
    }

    void writeRow(const Row& row) override {
        if (!failed()) {
            writeFields(row);
        }
    }

    bool failed() const override { return !error_.empty(); }

    // A stopped run keeps the rows written so far: they replace the earlier result too.
    bool close(bool /*aborted*/) override {
        flush();
        if (!failed()) {
            file_.commit(error_);
        }
        return !failed();
    }

    std::string errorMessage() const override {
        return "Cannot write result file '" + path_ + "': " + error_;
    }

    std::vector<std::string> warnings() const override { return {}; }

    TextForm textForm() const override { return form_; }

    void flush() override {
        if (!failed() && !pending_.empty()) {
            file_.write(pending_, error_);
        }
        pending_.clear();
    }

private:
    static constexpr std::size_t kFlushSize = 64 * 1024;

    // A field holding a comma, a double quote or a line break is quoted, its quotes doubled,
    // so that it stays one field. Unless the result is raw, a field that a spreadsheet program
    // would take for a formula gets a leading apostrophe: drawings are outside input. Every
    // other field is written byte for byte.
    void appendField(const std::string& field) {
        const bool quoted = field.find_first_of(",\"\r\n") != std::string::npos;
        if (quoted) {
            pending_ += '"';
        }
        if (!raw_ && looksLikeFormula(field)) {
            pending_ += '\'';
        }
        if (!quoted) {
            pending_ += field;
            return;
        }
        for (char c : field) {
            if (c == '"') {
                pending_ += '"';
            }
            pending_ += c;
        }
        pending_ += '"';
    }

    static bool looksLikeFormula(std::string_view field) {
        if (field.empty()) {
            return false;
        }
        switch (field.front()) {
        case '=':
        case '+':
        case '@':
        case '\t':
        case '\r':
            return true;
        case '-':
            return !plainNumber(field);
        default:
            return false;
        }
    }

    std::string path_;
    TextForm form_;
    bool raw_;
    ReplacingFile file_;
    std::string pending_;
    std::string error_;
};

} // namespace

OpenedSink openTextResult(const std::string& path, const ColumnList& columns, TextForm form,
                          bool raw) {
    auto sink = std::make_unique<TextResult>(path, form, raw);
    if (std::string error; !sink->open(error)) {
        return {nullptr, "Cannot create result file '" + path + "': " + error};
    }
    std::vector<std::string> titles{std::string(kBlockNameTitle)};
    for (const std::string& title : columns) {
        titles.push_back(form == TextForm::Decoded ? utf8FromAnsi(title) : title);
    }
    sink->writeFields(titles);
    sink->flush();
    return {std::move(sink), {}};
}

OpenedSink openSink(const std::string& path, const std::string& extension,
                    const ColumnList& columns, TextForm textForm, bool textRaw) {
    // The one place where the kind of result is chosen: a worksheet for exactly "xls" or
    // "xlsx".
    if (extension == "xls") {
        return openWorksheetResult(path, columns);
    }
    if (extension == "xlsx") {
        return openXlsxResult(path, columns);
    }
    return openTextResult(path, columns, textForm, textRaw);
}

const BlockRule* selectRule(const RuleSet& rules, const InsertHeader& header) {
    for (const BlockRule& rule : rules.blockRules) {
        if (!matchPatternList(rule.blockPattern, header.blockName)) {
            continue;
        }
        // Only the first rule taking the block name is tested further.
        const bool spaceFits = rule.space == kAnySpace || rule.space == header.space;
        if (matchPatternList(rule.layerPattern, header.layer) && spaceFits) {
            return &rule;
        }
        return nullptr;
    }
    return nullptr;
}

void placeAttribute(Row& row, const BlockRule& rule, std::string_view tag, std::string_view value) {
    const AttributeRule* chosen = nullptr;
    for (const AttributeRule& attribute : rule.attributes) {
        if (matchPatternList(attribute.namePattern, tag)) {
            chosen = &attribute;
        }
    }
    if (chosen == nullptr) {
        return;
    }
    // -1 ignores the attribute; other negative columns (only from hand-edited files) too.
    const std::optional<int> column = parseColumnNumber(chosen->column);
    if (column && *column >= 0 && static_cast<std::size_t>(*column) < row.size()) {
        row[static_cast<std::size_t>(*column)] = value;
    }
}

long long readInsert(const InsertRecord& insert, const DrawingText& text, const RuleSet& rules,
                     int highestColumn, ResultSink& sink, BlockTally& tally) {
    InsertHeader header;
    header.blockName = asciiUpper(text.decode(insert.blockName));
    header.layer = asciiUpper(text.decode(insert.layer));
    if (insert.paperSpace) {
        header.space = kPaperSpace;
    }
    const BlockRule* rule = selectRule(rules, header);
    if (rule == nullptr) {
        return 0;
    }
    const bool decoded = sink.textForm() == TextForm::Decoded;
    Row row(static_cast<std::size_t>(highestColumn) + 1);
    row[0] = decoded ? std::move(header.blockName) : text.upperAsRead(insert.blockName);
    tally[row[0]] += insert.copies;
    std::string tag;
    for (const DxfAttribute& attribute : insert.attributes()) {
        text.decode(attribute.tag, tag);
        if (!decoded) {
            placeAttribute(row, *rule, tag,
                           attribute.mtext ? plainMtextAsRead(attribute.value) : attribute.value);
        } else if (attribute.mtext) {
            placeAttribute(row, *rule, tag, text.decodeMtext(attribute.value));
        } else {
            placeAttribute(row, *rule, tag, text.decode(attribute.value));
        }
    }
    sink.writeRows(row, insert.copies);
    return insert.copies;
}

} // namespace kelvora
