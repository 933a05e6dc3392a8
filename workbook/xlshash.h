// Chained hash maps keyed by UTF-16 texts, under the formatting tables and keyed lists, and
// the byte hash of the shared string table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

// h := h * 33 + c over the code units (unsigned 32-bit, from 0); the result is h + (h >> 5).
std::uint32_t HashKey(std::u16string_view key);

// Buckets at creation; a power of two, as every later bucket count.
inline constexpr std::int32_t kInitialHashBuckets = 8;

// A hash of bytes for open-addressing tables, seeded so that a table can keep apart keys of
// different kinds. Every input bit reaches every result bit, so any mask of its low bits
// spreads keys evenly.
std::uint32_t HashBytes(const std::uint8_t* bytes, std::size_t count, std::uint64_t seed = 0);

struct TNoValue {};

// A chained hash map: the bucket count doubles on the insert that finds more entries than
// bucket count - 1. Keys compare by exact code-unit equality.
template <typename Value> class TKeyedHash {
public:
    struct Entry {
        std::int32_t next; // next entry of the chain, -1 at its end
        std::uint32_t hash;
        std::u16string key;
        Value value;
    };

    TKeyedHash();

    bool Contains(std::u16string_view key) const { return Find(key) != nullptr; }
    // The entry of key, or nullptr. The pointer stays valid until the next Insert or Remove.
    const Entry* Find(std::u16string_view key) const;
    Entry* Find(std::u16string_view key);
    // The existing entry of key, or a new one with a value-initialised value.
    Entry& Insert(std::u16string_view key);
    // Removes the entry of key; false when there was none.
    bool Remove(std::u16string_view key);
    // Keys in bucket order: bucket 0 first, each chain from its head.
    std::vector<std::u16string> Keys() const;

    std::int32_t Count() const { return count_; }
    std::int32_t BucketCount() const { return mask_ + 1; }

private:
    std::int32_t FindIndex(std::u16string_view key, std::uint32_t hash) const;
    void Grow();

    std::vector<std::int32_t> heads_; // first entry of each bucket, -1 when empty
    std::vector<Entry> pool_;         // entries; removed ones are recycled through free_
    std::vector<std::int32_t> free_;
    std::int32_t mask_ = kInitialHashBuckets - 1;
    std::int32_t count_ = 0;
};

using THash = TKeyedHash<TNoValue>;

// The int32-valued map: Get reads an absent key as 0, like a stored 0.
class THashInteger : public TKeyedHash<std::int32_t> {
public:
    std::int32_t Get(std::u16string_view key) const;
    void Set(std::u16string_view key, std::int32_t value);
};

extern template class TKeyedHash<TNoValue>;
extern template class TKeyedHash<std::int32_t>;

} // namespace kelvora
