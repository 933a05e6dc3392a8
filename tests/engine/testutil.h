// Helpers shared by the engine tests: temporary folders, files and small drawings.
#pragma once

#include "engine/rowoutput.h"
#include "platform/system.h"

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace kelvora::test {

class TempDir {
public:
    TempDir() {
        std::random_device random;
        do {
            path_ = std::filesystem::temp_directory_path() /
                    ("kelvora-test-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // UTF-8, '/' between folders, as the program takes paths.
    std::string path() const { return utf8FromPath(path_); }
    std::string file(const std::string& name) const { return path() + "/" + name; }

private:
    std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(pathFromUtf8(path), std::ios::binary) << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Group-code and value lines, each ending in a line feed.
inline std::string dxfPairs(const Pairs& pairs) {
    std::string text;
    for (const auto& [code, value] : pairs) {
        text += code + "\n" + value + "\n";
    }
    return text;
}

// An entities section holding the given pairs.
inline std::string drawing(const Pairs& entities) {
    return dxfPairs({{"0", "SECTION"}, {"2", "ENTITIES"}}) + dxfPairs(entities) +
           dxfPairs({{"0", "ENDSEC"}, {"0", "EOF"}});
}

// An insert with its attributes (tag, value) and SEQEND, layer before the block name.
inline Pairs insert(const std::string& block, const std::string& layer,
                    const std::vector<std::pair<std::string, std::string>>& attributes = {},
                    bool paperSpace = false) {
    Pairs pairs{{"0", "INSERT"}, {"8", layer}};
    if (paperSpace) {
        pairs.push_back({"67", "1"});
    }
    if (!attributes.empty()) {
        pairs.push_back({"66", "1"});
    }
    pairs.push_back({"2", block});
    pairs.insert(pairs.end(), {{"10", "0.0"}, {"20", "0.0"}, {"30", "0.0"}});
    for (const auto& [tag, value] : attributes) {
        pairs.insert(pairs.end(), {{"0", "ATTRIB"}, {"8", layer}, {"1", value}, {"2", tag}});
    }
    if (!attributes.empty()) {
        pairs.push_back({"0", "SEQEND"});
    }
    return pairs;
}

inline Pairs concat(std::initializer_list<Pairs> parts) {
    Pairs all;
    for (const Pairs& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Whether file permissions bind this process (they do not bind the super-user).
inline bool permissionsBind() {
#ifdef _WIN32
    return true;
#else
    return ::geteuid() != 0;
#endif
}

// Column list 'Ref', 'Qty'; 'DOOR*' on any layer in any space, REF to 1 and QTY to 2.
inline RuleSet doorRules() {
    RuleSet rules;
    rules.columns = {"Ref", "Qty"};
    rules.blockRules.push_back({"DOOR*", "*", "Any Space", {{"REF", "1"}, {"QTY", "2"}}});
    return rules;
}

// Keeps the rows it is given.
class RecordingSink : public ResultSink {
public:
    void writeRow(const Row& row) override { rows.push_back(row); }
    bool failed() const override { return false; }
    bool close(bool) override { return true; }
    std::string errorMessage() const override { return {}; }
    std::vector<std::string> warnings() const override { return {}; }
    TextForm textForm() const override { return form; }
    std::vector<Row> rows;
    TextForm form = TextForm::Decoded;
};

} // namespace kelvora::test
