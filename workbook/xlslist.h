// Keyed lists under the font, XF, number-format and style tables.
#pragma once

#include "xlshash.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

struct TXLSKeyEntry {
    std::u16string key;
    std::int32_t refCount = 0;
    std::int32_t outputPosition = 0; // 1-based position in the output array, 0: not written
    std::int32_t index = 0;
};

// Reference-counted entries found by key text. Entries below the fixed count are always
// written and never counted. Entries are never deleted: one that falls out of use keeps its
// index and is only left out of the output array.
class TXLSKeyList {
public:
    TXLSKeyList(std::uint16_t base, std::int32_t fixedCount, std::u16string defaultKey);

    std::int32_t Count() const { return static_cast<std::int32_t>(entries_.size()); }
    std::uint16_t Base() const { return base_; }
    std::int32_t FixedCount() const { return fixedCount_; }
    // Non-fixed entries in use; after Compact, the length of the output array.
    std::int32_t InUseCount() const { return inUse_; }

    bool IsValid(std::int32_t index) const;
    bool IsFixed(std::int32_t index) const;
    // The key text, or the default key for an index outside the list.
    const std::u16string& KeyAt(std::int32_t index) const;
    // 1-based output position, 0 outside the list or when not written.
    std::int32_t OutputPosition(std::int32_t index) const;
    // Reference count, 0 outside the list.
    std::int32_t ReferenceCount(std::int32_t index) const;

    // The index of the entry with key, for a caller moving away from old (or keeping its
    // reference when old is the base). A key found with index 0 counts as absent and is
    // appended again.
    std::int32_t FindOrReplace(std::int32_t old, std::u16string_view key);
    // Installs an entry with key at index, extending the list when needed.
    void SetEntry(std::int32_t index, std::u16string_view key);
    // Points key at index in the key index, whatever entry holds it.
    void SetKeyIndex(std::u16string_view key, std::int32_t index);
    void AddReference(std::int32_t index);
    void MoveReference(std::int32_t oldIndex, std::int32_t newIndex);
    void ResetReferences();
    // Fills the output array with the fixed entries and the entries in use, in index order.
    void Compact();

    std::int32_t OutputCount() const { return static_cast<std::int32_t>(output_.size()); }
    // Index of the entry at output position i + 1 (i from 0), -1 outside the output array.
    std::int32_t OutputIndex(std::int32_t i) const;

private:
    TXLSKeyEntry* EntryAt(std::int32_t index);
    const TXLSKeyEntry* EntryAt(std::int32_t index) const;
    void Release(std::int32_t index);

    // A std::vector grows by doubling, cheaper than the fixed steps of 50 it replaces.
    std::vector<TXLSKeyEntry> entries_;
    std::vector<std::int32_t> output_;
    THashInteger keyIndex_;
    std::u16string defaultKey_;
    std::uint16_t base_;
    std::int32_t fixedCount_;
    std::int32_t inUse_ = 0;
};

// Texts indexed from 0 with a reverse lookup; gaps read as empty texts.
class TXLSStringList {
public:
    // Index of text, appending it at the next free index when absent.
    std::int32_t Add(std::u16string_view text);
    // Index of text, 0 when absent (indistinguishable from a text at index 0).
    std::int32_t IndexOf(std::u16string_view text) const { return index_.Get(text); }
    bool Contains(std::u16string_view text) const { return index_.Contains(text); }
    // Stores text at index (ignored below 0); a later Put of the same text wins the lookup.
    void Put(std::int32_t index, std::u16string_view text);
    // The text at index, empty outside 0..NextFreeIndex()-1.
    const std::u16string& Get(std::int32_t index) const;
    std::int32_t NextFreeIndex() const { return static_cast<std::int32_t>(texts_.size()); }

private:
    std::vector<std::u16string> texts_;
    THashInteger index_;
};

// An entry of a TXLSObjList; kinds of entry add their own fields.
class TXLSObjEntry {
public:
    explicit TXLSObjEntry(std::u16string key) : key_(std::move(key)) {}
    virtual ~TXLSObjEntry();
    const std::u16string& Key() const { return key_; }

private:
    std::u16string key_;
};

// Owned entries in insertion order, found by key text.
class TXLSObjList {
public:
    explicit TXLSObjList(std::uint16_t base = 0) : base_(base) {}

    // An entry whose key is present replaces the old entry at its index; otherwise it is
    // appended at base + count. Returns the index; -1 for a null entry.
    std::int32_t Add(std::unique_ptr<TXLSObjEntry> entry);
    // The entry at index, or nullptr outside the list.
    const TXLSObjEntry* Item(std::int32_t index) const;
    std::int32_t Count() const { return static_cast<std::int32_t>(entries_.size()); }
    std::uint16_t Base() const { return base_; }

private:
    std::vector<std::unique_ptr<TXLSObjEntry>> entries_;
    THashInteger keyIndex_;
    std::uint16_t base_;
};

} // namespace kelvora
