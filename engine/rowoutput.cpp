#include "engine/rowoutput.h"

#include "engine/worksheetresult.h"
#include "engine/xlsxresult.h"

#include "platform/largememory.h"
#include "platform/replacingfile.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

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
// Rows, entries and table live in large blocks that are never moved (see largememory.h).
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
        if ((entryCount_ + 1) * 2 > slotCount_) {
            grow();
        }
        const std::uint64_t tag = hash & kTagBits;
        for (std::size_t i = firstSlot(tag);; i = (i + 1) & (slotCount_ - 1)) {
            std::uint64_t& slot = slots()[i];
            if (slot == 0) {
                slot = tag | (entryCount_ + 1);
                addEntry(row, copies);
                return;
            }
            // The tag tells most other rows apart without a look at their entry.
            if ((slot & kTagBits) != tag) {
                continue;
            }
            Entry& entry = entryAt((slot & ~kTagBits) - 1);
            if (samePacked(entry, row)) {
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
        for (std::size_t k = 0; k < entryCount_ && !inner_->failed(); ++k) {
            const Entry& entry = entryAt(k);
            const char* at = packedRow(entry);
            row.resize(next(at));
            for (std::string& field : row) {
                const std::size_t length = next(at);
                field.assign(at, length);
                at += length;
            }
            row.resize(quantityField_ + 1);
            row[quantityField_] = std::to_string(entry.count);
            inner_->writeRow(row);
        }
        entryBlocks_.clear();
        entryCount_ = 0;
        entryCapacity_ = 0;
        chunks_.clear();
        slots_.reset();
        slotCount_ = 0;
        return inner_->close(aborted);
    }

    std::string errorMessage() const override { return inner_->errorMessage(); }
    std::vector<std::string> warnings() const override { return inner_->warnings(); }
    bool failureEndsRun() const override { return inner_->failureEndsRun(); }
    TextForm textForm() const override { return inner_->textForm(); }

private:
    struct Entry {
        std::uint32_t chunk;  // where the row is packed
        std::uint32_t offset; // in that chunk
        long long count;
    };
    struct Chunk {
        LargeBlock bytes;
        std::size_t size = 0;
        std::size_t capacity = 0;
        char* data() const { return reinterpret_cast<char*>(bytes.get()); }
    };
    // Blocks of rows and of entries start small, so that a result of a few rows costs little,
    // and grow fourfold to the large-page size: the first kGrowingBlocks blocks of entries hold
    // kFirstEntries << 2b each, the others kMostEntries; chunks of rows grow alike.
    static constexpr std::size_t kBlockBytes = std::size_t(2) << 20;
    static constexpr std::size_t kMostEntries = kBlockBytes / sizeof(Entry);
    static constexpr std::size_t kGrowingBlocks = 3;
    static constexpr std::size_t kFirstEntries = kMostEntries >> (2 * kGrowingBlocks);
    static constexpr std::size_t kEntriesInGrowingBlocks =
        kFirstEntries * ((std::size_t(1) << (2 * kGrowingBlocks)) - 1) / 3;
    static std::size_t entriesInBlock(std::size_t block) {
        return kFirstEntries << (2 * std::min(block, kGrowingBlocks));
    }

    // A slot holds the upper half of its row's hash, which also chooses where the row's probe
    // starts, and the row's entry index + 1; 0 when free.
    static constexpr std::uint64_t kTagBits = 0xFFFFFFFF00000000ULL;
    std::size_t firstSlot(std::uint64_t tag) const { return (tag >> 32) & (slotCount_ - 1); }
    std::uint64_t* slots() const { return reinterpret_cast<std::uint64_t*>(slots_.get()); }

    Entry& entryAt(std::size_t k) const {
        std::size_t block;
        if (k < kEntriesInGrowingBlocks) {
            block = (std::bit_width(3 * k / kFirstEntries + 1) - 1) / 2;
            k -= kFirstEntries * ((std::size_t(1) << (2 * block)) - 1) / 3;
        } else {
            k -= kEntriesInGrowingBlocks;
            block = kGrowingBlocks + k / kMostEntries;
            k %= kMostEntries;
        }
        return reinterpret_cast<Entry*>(entryBlocks_[block].get())[k];
    }
    const char* packedRow(const Entry& entry) const {
        return chunks_[entry.chunk].data() + entry.offset;
    }

    // Twice the slots, each row's slot found anew from its tag.
    void grow() {
        const std::size_t count = std::max<std::size_t>(64, slotCount_ * 2);
        LargeBlock old = std::exchange(slots_, allocateLarge(count * sizeof(std::uint64_t), true));
        const std::size_t oldCount = std::exchange(slotCount_, count);
        const auto* oldSlots = reinterpret_cast<const std::uint64_t*>(old.get());
        for (std::size_t k = 0; k < oldCount; ++k) {
            if (const std::uint64_t slot = oldSlots[k]; slot != 0) {
                std::size_t i = firstSlot(slot & kTagBits);
                while (slots()[i] != 0) {
                    i = (i + 1) & (slotCount_ - 1);
                }
                slots()[i] = slot;
            }
        }
    }

    // Packs the row at the end of the last chunk, or of a new one when it may not fit there.
    // An entry's offset has 32 bits: a chunk holding rows of gigabytes takes no more.
    void addEntry(const Row& row, long long copies) {
        std::size_t bytes = kMostNumberBytes;
        for (const std::string& field : row) {
            bytes += kMostNumberBytes + field.size();
        }
        if (chunks_.empty() || chunks_.back().size + bytes > chunks_.back().capacity ||
            chunks_.back().size > std::numeric_limits<std::uint32_t>::max()) {
            const std::size_t capacity = std::max(
                bytes,
                kBlockBytes >> (2 * (kGrowingBlocks - std::min(chunks_.size(), kGrowingBlocks))));
            chunks_.push_back({allocateLarge(capacity, false), 0, capacity});
        }
        if (entryCount_ == entryCapacity_) {
            entryBlocks_.push_back(
                allocateLarge(entriesInBlock(entryBlocks_.size()) * sizeof(Entry), false));
            entryCapacity_ += entriesInBlock(entryBlocks_.size() - 1);
        }
        Chunk& chunk = chunks_.back();
        entryAt(entryCount_++) = {static_cast<std::uint32_t>(chunks_.size() - 1),
                                  static_cast<std::uint32_t>(chunk.size), copies};
        char* out = chunk.data() + chunk.size;
        putNumber(out, row.size());
        for (const std::string& field : row) {
            putNumber(out, field.size());
            std::memcpy(out, field.data(), field.size());
            out += field.size();
        }
        chunk.size = static_cast<std::size_t>(out - chunk.data());
    }

    // Seven bits a byte, the last byte below 0x80: most lengths take one byte.
    static constexpr std::size_t kMostNumberBytes = 10;
    static void putNumber(char*& out, std::size_t number) {
        for (; number >= 0x80; number >>= 7) {
            *out++ = static_cast<char>((number & 0x7F) | 0x80);
        }
        *out++ = static_cast<char>(number);
    }
    static std::size_t next(const char*& at) {
        std::size_t value = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*at++);
            value |= static_cast<std::size_t>(byte & 0x7F) << shift;
            if (byte < 0x80) {
                return value;
            }
        }
    }
    bool samePacked(const Entry& entry, const Row& row) const {
        const char* at = packedRow(entry);
        if (next(at) != row.size()) {
            return false;
        }
        for (const std::string& field : row) {
            const std::size_t length = next(at);
            if (length != field.size() || std::memcmp(at, field.data(), length) != 0) {
                return false;
            }
            at += length;
        }
        return true;
    }

    std::unique_ptr<ResultSink> inner_;
    std::size_t quantityField_;
    std::vector<Chunk> chunks_;
    std::vector<LargeBlock> entryBlocks_; // in the order of appearance
    std::size_t entryCount_ = 0;          // below 2^32, as a slot holds it
    std::size_t entryCapacity_ = 0;
    LargeBlock slots_; // slotCount_ of them, a power of two
    std::size_t slotCount_ = 0;
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
