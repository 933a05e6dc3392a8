#include "engine/rowoutput.h"

#include "engine/worksheetresult.h"
#include "engine/xlsxresult.h"

#include "platform/replacingfile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <deque>

namespace kelvora {

namespace {

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
            return !plainDecimalNumber(field);
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

// Counts equal rows instead of writing them: the distinct rows are held until the result is
// closed, then written in the order of their first appearance, each with its count in the
// last field. Each distinct row is kept once, packed (its field count, then each field behind
// its length), and found through an open-addressing table of its hash: a container per row
// would cost allocations and memory that make a run of distinct rows several times slower.
class QuantityResult : public ResultSink {
public:
    QuantityResult(std::unique_ptr<ResultSink> inner, std::size_t quantityField)
        : inner_(std::move(inner)), quantityField_(quantityField) {}

    void writeRow(const Row& row) override { writeRows(row, 1); }

    void writeRows(const Row& row, long long copies) override {
        std::uint64_t hash = row.size();
        for (const std::string& field : row) {
            hash = (hash ^ std::hash<std::string>{}(field)) * 0x9E3779B97F4A7C15ULL;
        }
        if ((entries_.size() + 1) * 2 > slots_.size()) {
            grow();
        }
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            if (slots_[i] == 0) {
                slots_[i] = static_cast<std::uint32_t>(entries_.size() + 1);
                std::string& chunk = chunkFor(row);
                entries_.push_back({chunks_.size() - 1, chunk.size(), hash, copies});
                pack(chunk, row);
                return;
            }
            Entry& entry = entries_[slots_[i] - 1];
            if (entry.hash == hash && samePacked(chunks_[entry.chunk], entry.offset, row)) {
                entry.count += copies;
                return;
            }
        }
    }

    void flush() override { inner_->flush(); }
    bool failed() const override { return inner_->failed(); }

    // The rows counted so far are written even for an aborted drawing: a result kind that
    // keeps the rows of an aborted drawing keeps them counted.
    bool close(bool aborted) override {
        Row row;
        for (const Entry& entry : entries_) {
            if (inner_->failed()) {
                break;
            }
            const std::string& chunk = chunks_[entry.chunk];
            std::size_t at = entry.offset;
            row.resize(next(chunk, at));
            for (std::string& field : row) {
                const std::size_t length = next(chunk, at);
                field.assign(chunk, at, length);
                at += length;
            }
            row.resize(quantityField_ + 1);
            row[quantityField_] = std::to_string(entry.count);
            inner_->writeRow(row);
        }
        entries_.clear();
        slots_.clear();
        chunks_.clear();
        return inner_->close(aborted);
    }

    std::string errorMessage() const override { return inner_->errorMessage(); }
    std::vector<std::string> warnings() const override { return inner_->warnings(); }
    bool failureEndsRun() const override { return inner_->failureEndsRun(); }
    TextForm textForm() const override { return inner_->textForm(); }

private:
    struct Entry {
        std::size_t chunk;  // where the row is packed
        std::size_t offset; // in that chunk
        std::uint64_t hash;
        long long count;
    };
    // Rows are packed into chunks that are never moved: a growing buffer would copy what it
    // holds, and touch new memory, at every doubling.
    static constexpr std::size_t kChunkBytes = 1 << 20;

    void grow() {
        slots_.assign(std::max<std::size_t>(64, slots_.size() * 2), 0);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t k = 0; k < entries_.size(); ++k) {
            std::size_t i = entries_[k].hash & mask;
            while (slots_[i] != 0) {
                i = (i + 1) & mask;
            }
            slots_[i] = static_cast<std::uint32_t>(k + 1);
        }
    }

    // The last chunk, or a new one when the row may not fit in what the last one has left.
    std::string& chunkFor(const Row& row) {
        std::size_t bytes = kMostNumberBytes;
        for (const std::string& field : row) {
            bytes += kMostNumberBytes + field.size();
        }
        if (chunks_.empty() || chunks_.back().size() + bytes > chunks_.back().capacity()) {
            chunks_.emplace_back().reserve(std::max(kChunkBytes, bytes));
        }
        return chunks_.back();
    }

    // Seven bits a byte, the last byte below 0x80: most lengths take one byte.
    static constexpr std::size_t kMostNumberBytes = 10;
    static void putNumber(std::string& chunk, std::size_t number) {
        for (; number >= 0x80; number >>= 7) {
            chunk += static_cast<char>((number & 0x7F) | 0x80);
        }
        chunk += static_cast<char>(number);
    }
    static std::size_t next(const std::string& chunk, std::size_t& at) {
        std::size_t value = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(chunk[at++]);
            value |= static_cast<std::size_t>(byte & 0x7F) << shift;
            if (byte < 0x80) {
                return value;
            }
        }
    }
    static void pack(std::string& chunk, const Row& row) {
        putNumber(chunk, row.size());
        for (const std::string& field : row) {
            putNumber(chunk, field.size());
            chunk += field;
        }
    }
    static bool samePacked(const std::string& chunk, std::size_t at, const Row& row) {
        if (next(chunk, at) != row.size()) {
            return false;
        }
        for (const std::string& field : row) {
            const std::size_t length = next(chunk, at);
            if (length != field.size() || chunk.compare(at, length, field) != 0) {
                return false;
            }
            at += length;
        }
        return true;
    }

    std::unique_ptr<ResultSink> inner_;
    std::size_t quantityField_;
    std::vector<std::string> chunks_;
    std::deque<Entry> entries_;        // in the order of first appearance, never moved
    std::vector<std::uint32_t> slots_; // entry index + 1, 0 when free; a power of two long
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<double> plainDecimalNumber(std::string_view text) {
    constexpr std::size_t kMostSignificantDigits = 15;
    const std::size_t start = !text.empty() && text.front() == '-' ? 1 : 0;
    std::size_t i = start;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
    }
    if (i == start || (i - start > 1 && text[start] == '0')) {
        return std::nullopt;
    }
    if (i < text.size()) {
        if (text[i] != '.' || i + 1 == text.size()) {
            return std::nullopt;
        }
        for (++i; i < text.size(); ++i) {
            if (!isDigit(text[i])) {
                return std::nullopt;
            }
        }
    }
    // Digits from the first one that is not zero, trailing zeros included.
    std::size_t significant = 0;
    for (const char c : text.substr(start)) {
        if (c != '.' && (significant > 0 || c != '0')) {
            ++significant;
        }
    }
    if (significant > kMostSignificantDigits) {
        return std::nullopt;
    }
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value == 0 ? 0.0 : value; // "-0" is zero
}

OpenedSink openTextResult(const std::string& path, const ColumnList& columns, TextForm form,
                          bool raw, std::string_view firstTitle) {
    auto sink = std::make_unique<TextResult>(path, form, raw);
    if (std::string error; !sink->open(error)) {
        return {nullptr, "Cannot create result file '" + path + "': " + error};
    }
    std::vector<std::string> titles;
    if (!firstTitle.empty()) {
        titles.emplace_back(firstTitle);
    }
    titles.emplace_back(kBlockNameTitle);
    for (const std::string& title : columns) {
        titles.push_back(form == TextForm::Decoded ? utf8FromAnsi(title) : title);
    }
    sink->writeFields(titles);
    sink->flush();
    return {std::move(sink), {}};
}

ColumnList quantityTitles(const ColumnList& columns, int highestColumn) {
    ColumnList titles = columns;
    titles.resize(std::max(titles.size(), static_cast<std::size_t>(highestColumn)));
    titles.emplace_back(kQuantityTitle);
    return titles;
}

std::unique_ptr<ResultSink> withQuantities(std::unique_ptr<ResultSink> inner,
                                           std::size_t quantityField) {
    return std::make_unique<QuantityResult>(std::move(inner), quantityField);
}

OpenedSink openSink(const std::string& path, const std::string& extension,
                    const ColumnList& columns, TextForm textForm, const ResultChoices& choices,
                    int highestColumn) {
    const ColumnList titles = choices.quantities ? quantityTitles(columns, highestColumn) : columns;
    // The one place where the kind of result is chosen: a worksheet for exactly "xls" or
    // "xlsx".
    OpenedSink opened = extension == "xls" ? openWorksheetResult(path, titles, choices.numbers)
                        : extension == "xlsx"
                            ? openXlsxResult(path, titles, choices.numbers)
                            : openTextResult(path, titles, textForm, choices.textRaw);
    if (opened.sink && choices.quantities) {
        opened.sink = withQuantities(std::move(opened.sink), titles.size());
    }
    return opened;
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

namespace {

void placeInColumn(Row& row, const AttributeRule& rule, std::string_view value) {
    // -1 ignores the attribute; other negative columns (only from hand-edited files) too.
    const std::optional<int> column = parseColumnNumber(rule.column);
    if (column && *column >= 0 && static_cast<std::size_t>(*column) < row.size()) {
        row[static_cast<std::size_t>(*column)] = value;
    }
}

} // namespace

void placeAttribute(Row& row, const BlockRule& rule, std::string_view tag, std::string_view value) {
    const AttributeRule* chosen = nullptr;
    for (const AttributeRule& attribute : rule.attributes) {
        if (matchPatternList(attribute.namePattern, tag) && !insertFieldOf(attribute.namePattern)) {
            chosen = &attribute;
        }
    }
    if (chosen != nullptr) {
        placeInColumn(row, *chosen, value);
    }
}

long long readInsert(const InsertRecord& insert, const DrawingText& text, const RuleSet& rules,
                     int highestColumn, ResultSink& sink, BlockTally& tally,
                     const FieldSource& fields) {
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
    for (const AttributeRule& attribute : rule->attributes) {
        if (const std::optional<InsertField> field = insertFieldOf(attribute.namePattern)) {
            const std::string value = insertFieldValue(*field, insert, fields);
            const bool named = *field == InsertField::Layer || *field == InsertField::Layout;
            placeInColumn(row, attribute, decoded && named ? text.decode(value) : value);
        }
    }
    sink.writeRows(row, insert.copies);
    return insert.copies;
}

} // namespace kelvora
