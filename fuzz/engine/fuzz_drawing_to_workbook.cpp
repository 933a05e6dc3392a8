// The whole way of a drawing as outside data: its inserts through the rules into a worksheet
// result saved in memory, then the saved compound file opened with libgsf and its Workbook
// stream walked record by record. Any framing fault of the writer traps.
#include "engine/dxfwalk.h"
#include "engine/worksheetresult.h"

#include <gsf/gsf.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace kelvora;

constexpr std::uint16_t kBof = 0x0809;
constexpr std::uint16_t kEof = 0x000A;
constexpr std::uint16_t kBoundSheet = 0x0085;
constexpr std::size_t kMostRecordData = 8224;

// Traps, saying which rule of the format was broken.
void check(bool condition, const char* broken) {
    if (!condition) {
        std::fprintf(stderr, "saved workbook: %s\n", broken);
        __builtin_trap();
    }
}

RuleSet fuzzRules() {
    RuleSet rules;
    rules.columns = {"Ref", "Qty", "Note"};
    rules.blockRules.push_back({"*", "*", "Any Space", {{"*REF*", "1"}, {"Q*", "2"}, {"*", "3"}}});
    return rules;
}

// The Workbook stream of the compound file, read by libgsf.
std::string workbookStream(const std::string& file) {
    GsfInput* input = gsf_input_memory_new(reinterpret_cast<const guint8*>(file.data()),
                                           static_cast<gsf_off_t>(file.size()), FALSE);
    check(input != nullptr, "no input");
    GsfInfile* storage = gsf_infile_msole_new(input, nullptr);
    check(storage != nullptr, "no compound file");
    GsfInput* stream = gsf_infile_child_by_name(storage, "Workbook");
    check(stream != nullptr, "no Workbook stream");
    std::string bytes(static_cast<std::size_t>(gsf_input_size(stream)), '\0');
    check(bytes.empty() || gsf_input_read(stream, bytes.size(),
                                          reinterpret_cast<guint8*>(bytes.data())) != nullptr,
          "the Workbook stream cannot be read");
    g_object_unref(stream);
    g_object_unref(storage);
    g_object_unref(input);
    return bytes;
}

std::uint32_t little(const std::string& bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

// Every record lies whole in the stream, substreams open with BOF and close with EOF, and
// every BOUNDSHEET points at a BOF; what follows the last EOF is zero padding.
void walkRecords(const std::string& stream) {
    std::vector<std::uint32_t> sheetOffsets;
    std::vector<std::uint32_t> bofOffsets;
    std::size_t at = 0;
    int depth = 0;
    bool ended = false;
    while (!ended && at + 4 <= stream.size()) {
        const auto type = static_cast<std::uint16_t>(little(stream, at, 2));
        const std::size_t length = little(stream, at + 2, 2);
        check(length <= kMostRecordData && at + 4 + length <= stream.size(), "a record overruns");
        if (type == kBof) {
            bofOffsets.push_back(static_cast<std::uint32_t>(at));
            ++depth;
        } else if (type == kEof) {
            check(depth == 1, "EOF outside a substream");
            --depth;
            ended = bofOffsets.size() == sheetOffsets.size() + 1;
        } else if (type == kBoundSheet) {
            check(length >= 4, "short BOUNDSHEET");
            sheetOffsets.push_back(little(stream, at + 4, 4));
        } else {
            check(depth == 1, "a record outside a substream");
        }
        at += 4 + length;
    }
    check(ended, "the stream ends before the EOF of its last substream");
    check(std::all_of(stream.begin() + static_cast<std::ptrdiff_t>(at), stream.end(),
                      [](char c) { return c == 0; }),
          "no zero padding after the last EOF");
    for (std::size_t i = 0; i < sheetOffsets.size(); ++i) {
        check(sheetOffsets[i] == bofOffsets[i + 1], "a BOUNDSHEET does not point at its BOF");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view drawing(reinterpret_cast<const char*>(data), size);
    static const RuleSet rules = withDecodedPatterns(fuzzRules());
    const int highest = highestColumn(rules).value;

    DxfPairReader reader;
    reader.openMemory(drawing);
    std::string saved;
    const std::unique_ptr<ResultSink> sink = openWorksheetInMemory(rules.columns, saved);
    BlockTally tally;
    DrawingText text;
    forEachInsert(
        reader, text,
        [&](const InsertRecord& insert) { readInsert(insert, text, rules, highest, *sink, tally); },
        [] { return true; }, ReadingChoices{.nested = true});
    check(sink->close(false), "the workbook was not saved");
    walkRecords(workbookStream(saved));
    return 0;
}
