// Drawings as outside data: the walk over the inserts for a run and for the template import,
// in both text forms of the results (reading everything the drawing holds, then the entities
// section alone), and every pair of a text drawing compared with the plain
// line rule, read from memory and from a file.
#include "configuration/templateimport.h"
#include "engine/rowoutput.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace kelvora;

class CountingSink : public ResultSink {
public:
    void writeRow(const Row& row) override { fields += row.size(); }
    void writeRows(const Row& row, long long copies) override {
        fields += row.size() * static_cast<std::size_t>(copies);
    }
    bool failed() const override { return false; }
    bool close(bool) override { return true; }
    std::string errorMessage() const override { return {}; }
    std::vector<std::string> warnings() const override { return {}; }
    TextForm textForm() const override { return form; }
    std::size_t fields = 0;
    TextForm form = TextForm::Decoded;
};

RuleSet fuzzRules() {
    RuleSet rules;
    rules.columns = {"Ref", "Qty"};
    rules.blockRules.push_back({"D*,?X*", "*", "Model Space", {{"REF", "1"}, {"*Q*", "2"}}});
    rules.blockRules.push_back({"*", "A*,", "Any Space", {{"**", "3"}, {"N", "0"}, {"M", "-2"}}});
    return rules;
}

// The pair rule in its plainest form: split at line feeds up to a Ctrl-Z, drop every carriage
// return, trim, and take the lines two by two (after a leading UTF-8 byte-order mark); a code line
// longer than 64 bytes as it stands in the file, or not an integer, gives the bad code.
std::vector<std::pair<int, std::string>> referencePairs(const std::string& bytes) {
    std::vector<std::string> raw;
    std::string line;
    bool open = false;
    const std::string_view text =
        std::string_view(bytes).substr(bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0);
    for (char c : text) {
        if (c == 26) {
            break;
        }
        if (c == '\n') {
            raw.push_back(line);
            line.clear();
            open = false;
        } else {
            line += c;
            open = true;
        }
    }
    if (open) {
        raw.push_back(line);
    }
    auto clean = [](const std::string& text) {
        std::string kept;
        for (char c : text) {
            if (c != '\r') {
                kept += c;
            }
        }
        return std::string(trimBlanks(kept));
    };
    std::vector<std::pair<int, std::string>> pairs;
    for (std::size_t i = 0; i < raw.size(); i += 2) {
        int code = DxfPairReader::kBadCode;
        const std::string text = clean(raw[i]);
        const std::string_view digits = std::string_view(text).substr(text.starts_with('-'));
        if (raw[i].size() <= 64 && !digits.empty() && digits.size() <= 9 &&
            digits.find_first_not_of("0123456789") == std::string_view::npos) {
            code = std::stoi(text);
        }
        pairs.emplace_back(code, i + 1 < raw.size() ? clean(raw[i + 1]) : std::string());
    }
    return pairs;
}

std::vector<std::pair<int, std::string>> readerPairs(DxfPairReader& reader) {
    std::vector<std::pair<int, std::string>> pairs;
    while (reader.next()) {
        pairs.emplace_back(reader.code(), reader.value());
    }
    return pairs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    static const RuleSet rules = fuzzRules();
    const int highest = highestColumn(rules).value;

    constexpr ReadingChoices kEverything{.nested = true};
    constexpr ReadingChoices kEntitiesAlone{
        .dynamicNames = false, .allLayouts = false, .minsertCopies = false, .nested = false};
    for (TextForm form : {TextForm::Decoded, TextForm::AsRead}) {
        DxfPairReader reader;
        reader.openMemory(bytes);
        CountingSink sink;
        sink.form = form;
        BlockTally tally;
        DrawingText text;
        forEachInsert(
            reader, text,
            [&](const InsertRecord& insert) {
                readInsert(insert, text, rules, highest, sink, tally);
                if (readTemplateInsert(insert, text).names.empty()) {
                    __builtin_trap();
                }
            },
            [] { return true; }, form == TextForm::Decoded ? kEverything : kEntitiesAlone);
    }

    DxfPairReader reader;
    reader.openMemory(bytes);
    if (reader.form() != DxfForm::Text) {
        readerPairs(reader); // binary and other files: read to the end without harm
        return 0;
    }
    const std::vector<std::pair<int, std::string>> expected = referencePairs(bytes);
    if (readerPairs(reader) != expected) {
        __builtin_trap();
    }
    // The same bytes through a file.
    static const std::string path = "/tmp/kelvora-fuzz-" + std::to_string(::getpid()) + ".dxf";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        static DxfPairReader fileReader; // keeps its buffer from one input to the next
        if (fileReader.open(path) && readerPairs(fileReader) != expected) {
            __builtin_trap();
        }
    }
    return 0;
}
