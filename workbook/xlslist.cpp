#include "xlslist.h"

namespace kelvora {

TXLSKeyList::TXLSKeyList(std::uint16_t base, std::int32_t fixedCount, std::u16string defaultKey)
    : defaultKey_(std::move(defaultKey)), base_(base), fixedCount_(fixedCount) {}

bool TXLSKeyList::IsValid(std::int32_t index) const {
    return index >= base_ && index - base_ < Count();
}

bool TXLSKeyList::IsFixed(std::int32_t index) const {
    return index >= base_ && index - base_ < fixedCount_;
}

TXLSKeyEntry* TXLSKeyList::EntryAt(std::int32_t index) {
    return IsValid(index) ? &entries_[static_cast<std::size_t>(index - base_)] : nullptr;
}

const TXLSKeyEntry* TXLSKeyList::EntryAt(std::int32_t index) const {
    return IsValid(index) ? &entries_[static_cast<std::size_t>(index - base_)] : nullptr;
}

const std::u16string& TXLSKeyList::KeyAt(std::int32_t index) const {
    const TXLSKeyEntry* e = EntryAt(index);
    return e ? e->key : defaultKey_;
}

std::int32_t TXLSKeyList::OutputPosition(std::int32_t index) const {
    const TXLSKeyEntry* e = EntryAt(index);
    return e ? e->outputPosition : 0;
}

std::int32_t TXLSKeyList::ReferenceCount(std::int32_t index) const {
    const TXLSKeyEntry* e = EntryAt(index);
    return e ? e->refCount : 0;
}

// Drops one reference of a valid non-fixed entry.
void TXLSKeyList::Release(std::int32_t index) {
    TXLSKeyEntry* e = EntryAt(index);
    if (!e || IsFixed(index) || e->refCount <= 0)
        return;
    if (--e->refCount == 0)
        --inUse_;
}

void TXLSKeyList::AddReference(std::int32_t index) {
    TXLSKeyEntry* e = EntryAt(index);
    if (!e || IsFixed(index))
        return;
    if (++e->refCount == 1)
        ++inUse_;
}

void TXLSKeyList::MoveReference(std::int32_t oldIndex, std::int32_t newIndex) {
    Release(oldIndex);
    AddReference(newIndex);
}

std::int32_t TXLSKeyList::FindOrReplace(std::int32_t old, std::u16string_view key) {
    if (old > base_ && IsValid(old) && EntryAt(old)->key == key)
        return old;
    // Index 0 reads as absent: a key stored with index 0 is appended again.
    const std::int32_t found = keyIndex_.Get(key);
    if (found < 1 || !IsValid(found)) {
        const std::int32_t index = base_ + Count();
        entries_.push_back(TXLSKeyEntry{std::u16string(key), 0, 0, index});
        keyIndex_.Set(key, index);
        if (!IsFixed(index)) {
            entries_.back().refCount = 1;
            ++inUse_;
        }
        Release(old);
        return index;
    }
    Release(old);
    if (!IsFixed(found))
        AddReference(found);
    return found;
}

void TXLSKeyList::SetEntry(std::int32_t index, std::u16string_view key) {
    if (index < base_)
        return;
    const auto slot = static_cast<std::size_t>(index - base_);
    if (slot >= entries_.size()) {
        const std::size_t from = entries_.size();
        entries_.resize(slot + 1);
        for (std::size_t k = from; k < entries_.size(); ++k)
            entries_[k].index = base_ + static_cast<std::int32_t>(k);
    }
    TXLSKeyEntry& e = entries_[slot];
    if (e.refCount > 0 && !IsFixed(index))
        --inUse_;
    e.key = std::u16string(key);
    e.refCount = 0;
    e.outputPosition = 0;
    keyIndex_.Set(key, index);
    if (!IsFixed(index)) {
        e.refCount = 1;
        ++inUse_;
    }
}

void TXLSKeyList::SetKeyIndex(std::u16string_view key, std::int32_t index) {
    keyIndex_.Set(key, index);
}

void TXLSKeyList::ResetReferences() {
    for (TXLSKeyEntry& e : entries_)
        e.refCount = 0;
    inUse_ = 0;
}

void TXLSKeyList::Compact() {
    output_.clear();
    output_.reserve(static_cast<std::size_t>(inUse_ + fixedCount_));
    for (TXLSKeyEntry& e : entries_) {
        if (IsFixed(e.index) || e.refCount > 0) {
            output_.push_back(e.index);
            e.outputPosition = static_cast<std::int32_t>(output_.size());
        } else {
            e.outputPosition = 0;
        }
    }
    inUse_ = static_cast<std::int32_t>(output_.size());
}

std::int32_t TXLSKeyList::OutputIndex(std::int32_t i) const {
    if (i < 0 || i >= OutputCount())
        return -1;
    return output_[static_cast<std::size_t>(i)];
}

void TXLSStringList::Put(std::int32_t index, std::u16string_view text) {
    if (index < 0)
        return;
    const auto slot = static_cast<std::size_t>(index);
    if (slot >= texts_.size())
        texts_.resize(slot + 1);
    else if (const auto* old = index_.Find(texts_[slot]); old && old->value == index)
        index_.Remove(texts_[slot]);
    texts_[slot] = std::u16string(text);
    index_.Set(text, index);
}

std::int32_t TXLSStringList::Add(std::u16string_view text) {
    if (const auto* e = index_.Find(text))
        return e->value;
    const std::int32_t index = NextFreeIndex();
    Put(index, text);
    return index;
}

const std::u16string& TXLSStringList::Get(std::int32_t index) const {
    static const std::u16string empty;
    if (index < 0 || index >= NextFreeIndex())
        return empty;
    return texts_[static_cast<std::size_t>(index)];
}

TXLSObjEntry::~TXLSObjEntry() = default;

std::int32_t TXLSObjList::Add(std::unique_ptr<TXLSObjEntry> entry) {
    if (!entry)
        return -1;
    if (const auto* e = keyIndex_.Find(entry->Key())) {
        const std::int32_t index = e->value;
        entries_[static_cast<std::size_t>(index - base_)] = std::move(entry);
        return index;
    }
    const std::int32_t index = base_ + Count();
    keyIndex_.Set(entry->Key(), index);
    entries_.push_back(std::move(entry));
    return index;
}

const TXLSObjEntry* TXLSObjList::Item(std::int32_t index) const {
    if (index < base_ || index - base_ >= Count())
        return nullptr;
    return entries_[static_cast<std::size_t>(index - base_)].get();
}

} // namespace kelvora
