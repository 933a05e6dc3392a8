#include "xlshash.h"

#include <cstring>

namespace kelvora {
namespace {

// Moves the chained entries of heads into twice as many buckets, by their stored hash.
// Entries are numbered from 0 and chains end with -1; entryAt(i) yields entry i, which has
// the members next and hash.
template <typename EntryAt>
void DoubleBuckets(std::vector<std::int32_t>& heads, EntryAt&& entryAt) {
    std::vector<std::int32_t> doubled(heads.size() * 2, -1);
    const std::size_t mask = doubled.size() - 1;
    for (std::int32_t head : heads) {
        for (std::int32_t i = head; i >= 0;) {
            auto& e = entryAt(i);
            const std::int32_t next = e.next;
            e.next = doubled[e.hash & mask];
            doubled[e.hash & mask] = i;
            i = next;
        }
    }
    heads = std::move(doubled);
}

constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ull;

std::uint64_t Absorb(std::uint64_t h, std::uint64_t word) {
    h = (h ^ word) * kGolden;
    return h ^ (h >> 29);
}

} // namespace

std::uint32_t HashKey(std::u16string_view key) {
    std::uint32_t h = 0;
    for (char16_t c : key)
        h = h * 33 + c;
    return h + (h >> 5);
}

// Eight bytes per multiplication, then the finalizer of MurmurHash3 (fmix64).
std::uint32_t HashBytes(const std::uint8_t* bytes, std::size_t count, std::uint64_t seed) {
    std::uint64_t h = seed ^ (count * kGolden);
    std::uint64_t word;
    for (; count >= 8; bytes += 8, count -= 8) {
        std::memcpy(&word, bytes, 8);
        h = Absorb(h, word);
    }
    if (count > 0) {
        word = 0;
        std::memcpy(&word, bytes, count);
        h = Absorb(h, word);
    }
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<std::uint32_t>(h);
}

template <typename Value> TKeyedHash<Value>::TKeyedHash() : heads_(kInitialHashBuckets, -1) {}

template <typename Value>
std::int32_t TKeyedHash<Value>::FindIndex(std::u16string_view key, std::uint32_t hash) const {
    for (std::int32_t i = heads_[hash & static_cast<std::uint32_t>(mask_)]; i >= 0;) {
        const Entry& e = pool_[static_cast<std::size_t>(i)];
        if (e.hash == hash && e.key == key)
            return i;
        i = e.next;
    }
    return -1;
}

template <typename Value>
const typename TKeyedHash<Value>::Entry* TKeyedHash<Value>::Find(std::u16string_view key) const {
    const std::int32_t i = FindIndex(key, HashKey(key));
    return i < 0 ? nullptr : &pool_[static_cast<std::size_t>(i)];
}

template <typename Value>
typename TKeyedHash<Value>::Entry* TKeyedHash<Value>::Find(std::u16string_view key) {
    const std::int32_t i = FindIndex(key, HashKey(key));
    return i < 0 ? nullptr : &pool_[static_cast<std::size_t>(i)];
}

template <typename Value> void TKeyedHash<Value>::Grow() {
    const std::int32_t buckets = (mask_ + 1) * 2;
    DoubleBuckets(heads_,
                  [this](std::int32_t i) -> Entry& { return pool_[static_cast<std::size_t>(i)]; });
    mask_ = buckets - 1;
}

template <typename Value>
typename TKeyedHash<Value>::Entry& TKeyedHash<Value>::Insert(std::u16string_view key) {
    if (mask_ < count_)
        Grow();
    const std::uint32_t hash = HashKey(key);
    const std::int32_t found = FindIndex(key, hash);
    if (found >= 0)
        return pool_[static_cast<std::size_t>(found)];
    std::int32_t& head = heads_[hash & static_cast<std::uint32_t>(mask_)];
    Entry entry{head, hash, std::u16string(key), Value{}};
    std::int32_t slot;
    if (free_.empty()) {
        slot = static_cast<std::int32_t>(pool_.size());
        pool_.push_back(std::move(entry));
    } else {
        slot = free_.back();
        free_.pop_back();
        pool_[static_cast<std::size_t>(slot)] = std::move(entry);
    }
    head = slot;
    ++count_;
    return pool_[static_cast<std::size_t>(slot)];
}

template <typename Value> bool TKeyedHash<Value>::Remove(std::u16string_view key) {
    const std::uint32_t hash = HashKey(key);
    std::int32_t* link = &heads_[hash & static_cast<std::uint32_t>(mask_)];
    while (*link >= 0) {
        Entry& e = pool_[static_cast<std::size_t>(*link)];
        if (e.hash == hash && e.key == key) {
            const std::int32_t slot = *link;
            *link = e.next;
            e.key = std::u16string();
            e.value = Value{};
            free_.push_back(slot);
            --count_;
            return true;
        }
        link = &e.next;
    }
    return false;
}

template <typename Value> std::vector<std::u16string> TKeyedHash<Value>::Keys() const {
    std::vector<std::u16string> keys;
    keys.reserve(static_cast<std::size_t>(count_));
    for (std::int32_t head : heads_)
        for (std::int32_t i = head; i >= 0; i = pool_[static_cast<std::size_t>(i)].next)
            keys.push_back(pool_[static_cast<std::size_t>(i)].key);
    return keys;
}

template class TKeyedHash<TNoValue>;
template class TKeyedHash<std::int32_t>;

std::int32_t THashInteger::Get(std::u16string_view key) const {
    const Entry* e = Find(key);
    return e ? e->value : 0;
}

void THashInteger::Set(std::u16string_view key, std::int32_t value) {
    Insert(key).value = value;
}

} // namespace kelvora
