#include "engine/rowoutput.h"

#include "engine/worksheetresult.h"
#include "engine/xlsxresult.h"
#include "platform/system.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kelvora {

namespace {

// Comma-separated text. Rows are written through a buffer that goes to the file whenever it
// holds 64 KiB and whenever the run fetches the next block of the drawing (see flush), so that
// the file holds every row written so far within one block's reading time; a write per field
// would cost a system call each and make a run several times slower.
class TextResult : public ResultSink {
public:
    TextResult(std::string path, int fd, TextForm form)
        : path_(std::move(path)), fd_(fd), form_(form) {
        if (form == TextForm::Decoded) {
            pending_ = "\xEF\xBB\xBF"; // UTF-8 byte-order mark, for spreadsheet programs
        }
    }
    ~TextResult() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

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

    bool close(bool /*aborted: the rows written so far are kept*/) override {
        flush();
        if (fd_ >= 0 && ::close(fd_) != 0 && error_.empty()) {
            error_ = std::strerror(errno);
        }
        fd_ = -1;
        return !failed();
    }

    std::string errorMessage() const override {
        return "Cannot write result file '" + path_ + "': " + error_;
    }

    std::vector<std::string> warnings() const override { return {}; }

    TextForm textForm() const override { return form_; }

private:
    static constexpr std::size_t kFlushSize = 64 * 1024;

    // A field holding a comma, a double quote or a line break is quoted, its quotes doubled,
    // so that it stays one field; every other field is written byte for byte.
    void appendField(const std::string& field) {
        if (field.find_first_of(",\"\r\n") == std::string::npos) {
            pending_ += field;
            return;
        }
        pending_ += '"';
        for (char c : field) {
            if (c == '"') {
                pending_ += '"';
            }
            pending_ += c;
        }
        pending_ += '"';
    }

public:
    void flush() override {
        std::size_t done = 0;
        while (done < pending_.size() && fd_ >= 0 && error_.empty()) {
            const ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                error_ = n < 0 ? std::strerror(errno) : "nothing could be written";
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        pending_.clear();
    }

private:
    std::string path_;
    int fd_;
    TextForm form_;
    std::string pending_;
    std::string error_;
};

} // namespace

OpenedSink openTextResult(const std::string& path, const ColumnList& columns, TextForm form) {
#ifdef _WIN32
    const int fd =
        ::_wopen(pathFromUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_BINARY, 0666);
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
#endif
    if (fd < 0) {
        return {nullptr, "Cannot create result file '" + path + "': " + std::strerror(errno)};
    }
    auto sink = std::make_unique<TextResult>(path, fd, form);
    std::vector<std::string> titles{std::string(kBlockNameTitle)};
    for (const std::string& title : columns) {
        titles.push_back(form == TextForm::Decoded ? utf8FromAnsi(title) : title);
    }
    sink->writeFields(titles);
    sink->flush();
    return {std::move(sink), {}};
}

OpenedSink openSink(const std::string& path, const std::string& extension,
                    const ColumnList& columns, TextForm textForm) {
    // The one place where the kind of result is chosen: a worksheet for exactly "xls" or
    // "xlsx".
    if (extension == "xls") {
        return openWorksheetResult(path, columns);
    }
    if (extension == "xlsx") {
        return openXlsxResult(path, columns);
    }
    return openTextResult(path, columns, textForm);
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
