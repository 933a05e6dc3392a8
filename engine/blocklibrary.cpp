#include "engine/blocklibrary.h"

#include "engine/dxfreader.h"

#include <algorithm>

namespace kelvora {

namespace {

// Handles are hexadecimal: compared without regard to case or leading zeros.
std::string handleKey(std::string_view handle) {
    const std::size_t first = handle.find_first_not_of('0');
    return asciiUpper(first == std::string_view::npos ? handle.substr(0, 1) : handle.substr(first));
}

long long plusCopies(long long a, long long b) {
    return std::min(a + b, kMostCopies);
}

// Answers of nestedIn kept at most, in entries (16 bytes each).
constexpr std::size_t kNestedCacheBudget = 1 << 20;

// Reads an arena entry in the order it was kept.
class EntryReader {
public:
    explicit EntryReader(const char* at) : at_(reinterpret_cast<const unsigned char*>(at)) {}
    std::size_t number() {
        std::size_t value = 0;
        for (int shift = 0;; shift += 7) {
            const unsigned char byte = *at_++;
            value |= static_cast<std::size_t>(byte & 0x7F) << shift;
            if (byte < 0x80) {
                return value;
            }
        }
    }
    std::string_view text() {
        const std::size_t size = number();
        const std::string_view text(reinterpret_cast<const char*>(at_), size);
        at_ += size;
        return text;
    }
    bool flag() { return *at_++ != 0; }

private:
    const unsigned char* at_;
};

} // namespace

long long timesCopies(long long a, long long b) {
    if (a <= 0 || b <= 0) {
        return 0;
    }
    return a > kMostCopies / b ? kMostCopies : std::min(a * b, kMostCopies);
}

void BlockLibrary::addBlockRecord(std::string_view handle, std::string_view name,
                                  std::string_view representedHandle, std::string_view trueName) {
    if (name.empty()) {
        return;
    }
    records_.try_emplace(asciiUpper(name),
                         Record{std::string(name), handleKey(handle), handleKey(representedHandle),
                                std::string(trueName)});
}

// An anonymous state points at its dynamic block's record, which names it; in drawings saved
// for older versions that record is anonymous itself and carries the name in its XDATA.
void BlockLibrary::resolveDynamicNames() {
    std::map<std::string, const Record*, std::less<>> byHandle;
    for (const auto& [key, record] : records_) {
        if (!record.handle.empty()) {
            byHandle.try_emplace(record.handle, &record);
        }
    }
    constexpr int kMostSteps = 8; // the pointers might form a loop
    for (const auto& [key, start] : records_) {
        if (key.front() != '*') {
            continue; // only anonymous blocks stand for a dynamic block's state
        }
        const Record* record = &start;
        std::string_view name;
        for (int steps = 0; steps < kMostSteps && name.empty(); ++steps) {
            const auto target = byHandle.find(record->representedHandle);
            if (!record->representedHandle.empty() && target != byHandle.end() &&
                target->second != record) {
                record = target->second;
                if (record->name.front() != '*') {
                    name = record->name;
                }
            } else {
                name = record->trueName;
                break;
            }
        }
        if (!name.empty() && asciiUpper(name) != key) {
            dynamicNames_.insert_or_assign(key, std::string(name));
        }
    }
    records_.clear();
}

const std::string* BlockLibrary::dynamicName(std::string_view blockName) const {
    if (dynamicNames_.empty() || blockName.empty() || blockName.front() != '*') {
        return nullptr;
    }
    const auto found = dynamicNames_.find(asciiUpper(blockName));
    return found == dynamicNames_.end() ? nullptr : &found->second;
}

BlockLibrary::Layout BlockLibrary::layoutOf(std::string_view blockName) {
    const std::string name = asciiUpper(blockName);
    if (name.starts_with("*PAPER_SPACE") || name.starts_with("$PAPER_SPACE")) {
        return Layout::Paper;
    }
    if (name == "*MODEL_SPACE" || name == "$MODEL_SPACE") {
        return Layout::Model;
    }
    return Layout::None;
}

void BlockLibrary::beginBlock(std::string_view name) {
    const auto index = static_cast<std::uint32_t>(blocks_.size());
    const auto here = static_cast<std::uint32_t>(inserts_.size());
    const Layout layout = layoutOf(name);
    blocks_.push_back({here, here, layout, layout != Layout::None ? std::string(name) : ""});
    blockIndex_.try_emplace(asciiUpper(name), index); // a name defined twice: the first counts
    inBlock_ = true;
}

void BlockLibrary::keepInsert(const InsertRecord& insert) {
    if (!inBlock_) {
        return;
    }
    inserts_.push_back({arena_.size(), insert.copies, -1});
    keepText(insert.blockName);
    keepText(insert.layer);
    for (const std::string& value : insert.properties) {
        keepText(value);
    }
    arena_ += static_cast<char>(insert.hasAttributes);
    keepNumber(insert.attributes().size());
    for (const DxfAttribute& attribute : insert.attributes()) {
        keepText(attribute.tag);
        keepText(attribute.value);
        arena_ += static_cast<char>(attribute.mtext);
    }
    blocks_.back().end = static_cast<std::uint32_t>(inserts_.size());
}

void BlockLibrary::endBlock() {
    inBlock_ = false;
}

std::vector<std::uint32_t> BlockLibrary::layoutBlocks() const {
    std::vector<std::uint32_t> layouts;
    for (std::uint32_t b = 0; b < blocks_.size(); ++b) {
        if (blocks_[b].layout != Layout::None) {
            layouts.push_back(b);
        }
    }
    return layouts;
}

void BlockLibrary::keepNumber(std::size_t number) {
    for (; number >= 0x80; number >>= 7) {
        arena_ += static_cast<char>((number & 0x7F) | 0x80);
    }
    arena_ += static_cast<char>(number);
}

void BlockLibrary::keepText(std::string_view text) {
    keepNumber(text.size());
    arena_ += text;
}

std::int32_t BlockLibrary::blockNamed(std::string_view name) const {
    const auto found = blockIndex_.find(asciiUpper(name));
    return found == blockIndex_.end() ? -1 : static_cast<std::int32_t>(found->second);
}

void BlockLibrary::linkInserts() {
    for (StoredInsert& insert : inserts_) {
        insert.block = blockNamed(EntryReader(arena_.data() + insert.entry).text());
    }
    linked_ = true;
}

const std::vector<BlockLibrary::Nested>& BlockLibrary::nestedIn(std::string_view blockName) {
    static const std::vector<Nested> none;
    if (inserts_.empty()) {
        return none;
    }
    if (!linked_) {
        linkInserts();
    }
    const std::int32_t block = blockNamed(blockName);
    if (block < 0) {
        return none;
    }
    if (const auto found = nestedCache_.find(block); found != nestedCache_.end()) {
        return found->second;
    }
    uncached_.clear();
    flatten(static_cast<std::uint32_t>(block), uncached_);
    if (cachedEntries_ + uncached_.size() > kNestedCacheBudget) {
        return uncached_;
    }
    cachedEntries_ += uncached_.size();
    return nestedCache_.emplace(block, uncached_).first->second;
}

// A walk in depth over the definitions reachable from the root finds them in the order first
// met and cuts every insert that leads back to a definition still being walked (a cycle). The
// rest is acyclic: the copies per definition then flow down in topological order (the reverse
// of the order in which the walk left the definitions).
void BlockLibrary::flatten(std::uint32_t root, std::vector<Nested>& into) {
    enum class Mark : std::uint8_t { Open, Done };
    struct Visit {
        Mark mark = Mark::Open;
        long long copies = 0;
    };
    std::unordered_map<std::uint32_t, Visit> visits;
    std::vector<std::uint32_t> firstMet{root};
    std::vector<std::uint32_t> left;
    std::vector<std::uint32_t> cutInserts;
    struct Frame {
        std::uint32_t block;
        std::uint32_t next;
    };
    std::vector<Frame> stack{{root, blocks_[root].first}};
    visits[root] = {};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == blocks_[frame.block].end) {
            visits[frame.block].mark = Mark::Done;
            left.push_back(frame.block);
            stack.pop_back();
            continue;
        }
        const std::uint32_t insert = frame.next++;
        const std::int32_t target = inserts_[insert].block;
        if (target < 0) {
            continue;
        }
        const auto block = static_cast<std::uint32_t>(target);
        const auto [visit, isNew] = visits.try_emplace(block);
        if (isNew) {
            firstMet.push_back(block);
            stack.push_back({block, blocks_[block].first});
        } else if (visit->second.mark == Mark::Open) {
            cutInserts.push_back(insert);
        }
    }
    std::sort(cutInserts.begin(), cutInserts.end());
    visits[root].copies = 1;
    for (auto b = left.rbegin(); b != left.rend(); ++b) {
        const long long copies = visits[*b].copies;
        for (std::uint32_t i = blocks_[*b].first; i < blocks_[*b].end; ++i) {
            const std::int32_t target = inserts_[i].block;
            if (target >= 0 && !std::binary_search(cutInserts.begin(), cutInserts.end(), i)) {
                long long& sum = visits[static_cast<std::uint32_t>(target)].copies;
                sum = plusCopies(sum, timesCopies(copies, inserts_[i].copies));
            }
        }
    }
    for (const std::uint32_t b : firstMet) {
        const long long copies = visits[b].copies;
        for (std::uint32_t i = blocks_[b].first; i < blocks_[b].end; ++i) {
            into.push_back({i, timesCopies(copies, inserts_[i].copies)});
        }
    }
}

void BlockLibrary::load(std::uint32_t insert, InsertRecord& record) const {
    const StoredInsert& stored = inserts_[insert];
    EntryReader entry(arena_.data() + stored.entry);
    record.clear();
    record.blockName = entry.text();
    record.layer = entry.text();
    for (std::string& value : record.properties) {
        value = entry.text();
    }
    record.hasAttributes = entry.flag();
    record.copies = stored.copies;
    for (std::size_t count = entry.number(); count > 0; --count) {
        DxfAttribute& attribute = record.addAttribute();
        attribute.tag = entry.text();
        attribute.value = entry.text();
        attribute.mtext = entry.flag();
    }
}

} // namespace kelvora
