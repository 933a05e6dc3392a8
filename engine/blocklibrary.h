// What the drawing walk keeps of the tables and blocks sections: the names of dynamic blocks'
// anonymous states, and the inserts inside block definitions, for layouts and nested blocks.
#pragma once

#include "engine/insertrecord.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kelvora {

// a x b, held at kMostCopies: a hostile drawing cannot overflow the counters.
long long timesCopies(long long a, long long b);
inline constexpr long long kMostCopies = 1LL << 40;

class BlockLibrary {
public:
    // --- the BLOCK_RECORD table ---
    // One block record: its handle (group 5), name (group 2), and from its XDATA the handle of
    // the dynamic block it is a state of (AcDbBlockRepBTag, 1005) or that block's name
    // (AcDbDynamicBlockTrueName, 1000); either may be empty.
    void addBlockRecord(std::string_view handle, std::string_view name,
                        std::string_view representedHandle, std::string_view trueName);
    // After the table: each anonymous record that names its dynamic block gets that name.
    void resolveDynamicNames();
    // The dynamic block's name for an anonymous state's name, or null.
    const std::string* dynamicName(std::string_view blockName) const;

    // --- the BLOCKS section, one definition after the other ---
    enum class Layout { None, Model, Paper };
    static Layout layoutOf(std::string_view blockName);
    void beginBlock(std::string_view name);
    void keepInsert(const InsertRecord& insert); // into the block begun last
    void endBlock();

    // The layouts' definitions in file order, and what each holds.
    std::vector<std::uint32_t> layoutBlocks() const;
    Layout layoutOfBlock(std::uint32_t block) const { return blocks_[block].layout; }
    const std::string& nameOfBlock(std::uint32_t block) const { return blocks_[block].name; }
    std::pair<std::uint32_t, std::uint32_t> insertsOf(std::uint32_t block) const {
        return {blocks_[block].first, blocks_[block].end};
    }

    // Every insert that an insert of the named block holds, at any depth, each once with the
    // number of copies one insert of the block yields (the product of the copies on the way,
    // summed over the ways), grouped by definition in the order in which the definitions are
    // first met. A block that holds itself, directly or not, is not entered again. Empty for a
    // block without definition or inserts.
    struct Nested {
        std::uint32_t insert;
        long long copies;
    };
    const std::vector<Nested>& nestedIn(std::string_view blockName);

    // The stored insert into record: name as written, layer, properties, attributes and own
    // copies.
    void load(std::uint32_t insert, InsertRecord& record) const;

private:
    // A kept insert is one entry of the arena: its name, layer, properties, attribute flag and
    // attributes (tag, value, MTEXT flag), each text behind its length as a variable-length
    // number.
    struct StoredInsert {
        std::size_t entry = 0;
        long long copies = 1;
        std::int32_t block = -1; // the definition it inserts, once known
    };
    struct Block {
        std::uint32_t first = 0; // its inserts: [first, end)
        std::uint32_t end = 0;
        Layout layout = Layout::None;
        std::string name; // a layout's name as written; empty for other blocks
    };

    void keepNumber(std::size_t number);
    void keepText(std::string_view text);
    std::int32_t blockNamed(std::string_view name) const;
    void linkInserts();
    void flatten(std::uint32_t block, std::vector<Nested>& into);

    // Block records by upper-cased name, until the dynamic names are resolved.
    struct Record {
        std::string name; // a layout's name as written; empty for other blocks
        std::string handle;
        std::string representedHandle;
        std::string trueName;
    };
    std::map<std::string, Record, std::less<>> records_;
    std::map<std::string, std::string, std::less<>> dynamicNames_; // upper-cased anonymous name

    std::string arena_;
    std::vector<StoredInsert> inserts_;
    std::vector<Block> blocks_;
    std::map<std::string, std::uint32_t, std::less<>> blockIndex_; // upper-cased name
    bool linked_ = false;
    bool inBlock_ = false;

    // nestedIn's answers, up to a budget of entries; the last answer is kept in any case.
    std::unordered_map<std::int32_t, std::vector<Nested>> nestedCache_;
    std::size_t cachedEntries_ = 0;
    std::vector<Nested> uncached_;
};

} // namespace kelvora
