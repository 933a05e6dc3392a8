// Drawings as outside data: the file scan with both insert readers, and a whole drawing read
// from a file through the buffered reader.
#include "engine/dxfreader.h"
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
    bool failed() const override { return false; }
    bool close(bool) override { return true; }
    std::string errorMessage() const override { return {}; }
    std::vector<std::string> warnings() const override { return {}; }
    std::size_t fields = 0;
};

RuleSet fuzzRules() {
    RuleSet rules;
    rules.columns = {"Ref", "Qty"};
    rules.blockRules.push_back({"D*,?X*", "*", "Model Space", {{"REF", "1"}, {"*Q*", "2"}}});
    rules.blockRules.push_back({"*", "A*,", "Any Space", {{"**", "3"}, {"N", "0"}, {"M", "-2"}}});
    return rules;
}

// The line rule in its plainest form: split at line feeds, drop every carriage return, stop
// at a Ctrl-Z.
std::vector<std::string> referenceLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (char c : bytes) {
        if (c == 26) {
            break;
        }
        open = true;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
        } else if (c != '\r') {
            line += c;
        }
    }
    if (open) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> readerLines(DxfLineReader& reader) {
    std::vector<std::string> lines;
    while (!reader.atEnd()) {
        lines.emplace_back(reader.readLine());
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    static const RuleSet rules = fuzzRules();
    const int highest = highestColumn(rules).value;

    DxfLineReader reader;
    reader.openMemory(bytes);
    CountingSink sink;
    BlockTally tally;
    scanForInserts(reader, [&] { readInsert(reader, rules, highest, sink, tally); });

    reader.openMemory(bytes);
    scanForInserts(reader, [&] {
        if (std::optional<TemplateInsert> insert = readTemplateInsert(reader)) {
            if (insert->names.empty()) {
                __builtin_trap();
            }
        }
    });

    // The same bytes through a file, line by line and pair by pair.
    static const std::string path = "/tmp/kelvora-fuzz-" + std::to_string(::getpid()) + ".dxf";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        static DxfLineReader fileReader; // keeps its buffers from one input to the next
        const std::vector<std::string> expected = referenceLines(bytes);
        if (fileReader.open(path) && readerLines(fileReader) != expected) {
            __builtin_trap();
        }
        reader.openMemory(bytes);
        if (readerLines(reader) != expected) {
            __builtin_trap();
        }
        if (fileReader.open(path)) {
            std::size_t total = 0;
            while (!fileReader.atEnd()) {
                const DxfLineReader::Pair pair = fileReader.readPair();
                total += pair.code.size() + pair.value.size();
            }
            if (total > size) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
