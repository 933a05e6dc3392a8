#include "xlssst.h"

#include "xlshash.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace kelvora {
namespace {

constexpr std::uint32_t kSstHeaderData = 8;   // cstTotal + cstUnique
constexpr std::uint32_t kFreshTextHeader = 3; // cch (2) + option byte
constexpr std::uint32_t kContinuedHeader = 1; // option byte alone
// Option bytes: no runs, no phonetics; one byte per character or UTF-16LE.
constexpr std::uint8_t kCompressedOption = 0x00;
constexpr std::uint8_t kUtf16Option = 0x01;
constexpr std::uint32_t kExtSstEntrySize = 8; // ib (4), cbOffset (2), reserved (2)
// Below this the SST header and one EXTSST entry would not fit in a record.
constexpr std::uint16_t kMinRecordData = 8;
// Index entries at creation; a power of two, as every later size.
constexpr std::size_t kInitialIndexSize = 16;
// Released texts leave their bytes behind until these are at least this many, at least one
// per slot and more than half of the text blocks' bytes.
constexpr std::size_t kMinCompactBytes = 4096;

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Builds the SST and EXTSST records of one save.
class SstWriter {
public:
    SstWriter(TXLSBlobList& list, std::uint32_t limit, std::int32_t offset, std::uint32_t total,
              std::uint32_t unique)
        : list_(list), limit_(limit), position_(offset) {
        record_ = TXLSBlob::Create(limit_);
        record_->AddWord(kSstRecordType);
        record_->AddWord(0);
        record_->AddDword(total);
        record_->AddDword(unique);
        position_ += static_cast<std::int32_t>(kRecordHeaderSize + kSstHeaderData);
        ext_ = TXLSBlob::Create(limit_);
        ext_->AddWord(kExtSstRecordType);
        ext_->AddWord(0);
        ext_->AddWord(kExtSstBucketSize);
    }

    // One text: length characters at bytes, two bytes each when wide, else one.
    void WriteText(const std::uint8_t* bytes, std::uint32_t length, bool wide,
                   std::uint32_t ordinal) {
        const std::uint32_t unit = wide ? 2 : 1;
        std::uint32_t chars = length;
        bool fresh = true;
        for (;;) {
            const std::uint32_t used = record_->Length();
            const std::uint32_t header = fresh ? kFreshTextHeader : kContinuedHeader;
            if (used + header + unit * chars <= limit_) {
                if (fresh && ordinal % kExtSstBucketSize == 0)
                    AddExtEntry(used);
                WriteSegment(fresh, length, wide, bytes, chars);
                return;
            }
            // A fresh text never starts in fewer bytes than its header and one character.
            if (fresh && limit_ - used < kFreshTextHeader + unit) {
                NextRecord();
                continue;
            }
            if (fresh && ordinal % kExtSstBucketSize == 0)
                AddExtEntry(used);
            std::uint32_t fit = (limit_ - used - header) / unit;
            // A surrogate pair is one character: it is never cut in two, so that readers that
            // decode each piece on its own get whole characters.
            if (wide && fit > 0 && IsHighSurrogate(UnitAt(bytes, fit - 1)))
                --fit;
            WriteSegment(fresh, length, wide, bytes, fit);
            bytes += unit * fit;
            chars -= fit;
            NextRecord();
            fresh = false;
        }
    }

    void Finish() {
        if (record_->Length() > kRecordHeaderSize)
            Close(record_, list_);
        PatchLength(*ext_);
        extRecords_.push_back(std::move(ext_));
        for (auto& record : extRecords_)
            list_.AppendBlob(std::move(record));
    }

private:
    static void PatchLength(TXLSBlob& record) {
        record.PutWord(2, static_cast<std::uint16_t>(record.Length() - kRecordHeaderSize));
    }

    static void Close(TXLSBlobPtr& record, TXLSBlobList& list) {
        PatchLength(*record);
        list.AppendBlob(std::move(record));
    }

    static TXLSBlobPtr Continue(std::uint32_t capacity) {
        auto record = TXLSBlob::Create(capacity);
        record->AddWord(kContinueRecordType);
        record->AddWord(0);
        return record;
    }

    void NextRecord() {
        Close(record_, list_);
        record_ = Continue(limit_);
        position_ += static_cast<std::int32_t>(kRecordHeaderSize);
    }

    static char16_t UnitAt(const std::uint8_t* wideBytes, std::uint32_t i) {
        return static_cast<char16_t>(wideBytes[2 * i] | wideBytes[2 * i + 1] << 8);
    }

    // A piece of a text: with cch when fresh, and the option byte of its form in every piece.
    void WriteSegment(bool fresh, std::uint32_t length, bool wide, const std::uint8_t* bytes,
                      std::uint32_t chars) {
        if (fresh)
            record_->AddWord(static_cast<std::uint16_t>(length));
        record_->AddByte(wide ? kUtf16Option : kCompressedOption);
        const std::uint32_t n = wide ? 2 * chars : chars;
        record_->AddAnsiText(std::string_view(reinterpret_cast<const char*>(bytes), n));
        position_ += static_cast<std::int32_t>((fresh ? kFreshTextHeader : kContinuedHeader) + n);
    }

    // Entry for a text whose cch field starts at the current stream position, used bytes
    // into its record. EXTSST entries go to their own list, appended after the SST.
    void AddExtEntry(std::uint32_t used) {
        if (ext_->Length() + kExtSstEntrySize > limit_) {
            PatchLength(*ext_);
            extRecords_.push_back(std::move(ext_));
            ext_ = Continue(limit_);
        }
        ext_->AddDword(static_cast<std::uint32_t>(position_));
        ext_->AddWord(static_cast<std::uint16_t>(used));
        ext_->AddWord(0);
    }

    TXLSBlobList& list_;
    std::uint32_t limit_; // largest record size, header included
    std::int32_t position_;
    TXLSBlobPtr record_;
    TXLSBlobPtr ext_;
    std::vector<TXLSBlobPtr> extRecords_;
};

} // namespace

void TXLSStringTable::FreeIndex::operator()(IndexEntry* entries) const {
    std::free(entries);
}

TXLSStringTable::TXLSStringTable() {
    index_.reset(static_cast<IndexEntry*>(std::calloc(kInitialIndexSize, sizeof(IndexEntry))));
    if (!index_)
        throw std::bad_alloc();
    indexSize_ = kInitialIndexSize;
    slotBlocks_.push_back(std::make_unique<Slot[]>(std::size_t{1} << kSlotBlockShift));
}

// Copies count bytes to the end of blocks and returns their offset; a text that does not fit
// in what is left of the last block starts the next one.
std::uint64_t TXLSStringTable::StoreText(TextBlocks& blocks, std::uint64_t& end,
                                         const std::uint8_t* bytes, std::size_t count) {
    if (count == 0)
        return 0;
    if ((end & (kTextBlockSize - 1)) + count > kTextBlockSize)
        end = (end | (kTextBlockSize - 1)) + 1;
    const std::size_t block = static_cast<std::size_t>(end >> kTextBlockShift);
    if (block == blocks.size())
        blocks.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(kTextBlockSize));
    std::memcpy(blocks[block].get() + (end & (kTextBlockSize - 1)), bytes, count);
    const std::uint64_t offset = end;
    end += count;
    return offset;
}

// Linear probing from the hash's home entry: the entry holding the text of key_ (length
// characters in the form wide), or the free entry where it would go.
std::size_t TXLSStringTable::FindEntry(std::uint32_t hash, bool wide, std::size_t length) const {
    const std::size_t mask = indexSize_ - 1;
    const std::size_t byteCount = length << (wide ? 1 : 0);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const IndexEntry& e = index_[i];
        if (e.slot == 0)
            return i;
        if (e.hash != hash)
            continue;
        const Slot& slot = SlotAt(e.slot);
        if (slot.length == length && slot.wide == wide &&
            (byteCount == 0 || std::memcmp(BytesOf(slot), key_.data(), byteCount) == 0))
            return i;
    }
}

// Doubles the index where it lies. Every entry is first marked pending (negative slot), then
// each is placed from its home in the doubled index: past placed entries, onto the first
// free or pending entry, which is swapped in and placed next. A placed entry only ever has
// placed entries between its home and itself, so every probe run stays unbroken.
void TXLSStringTable::Grow() {
    static_assert(std::is_trivially_copyable_v<IndexEntry>);
    const std::size_t oldSize = indexSize_;
    auto* grown =
        static_cast<IndexEntry*>(std::realloc(index_.get(), 2 * oldSize * sizeof(IndexEntry)));
    if (!grown)
        throw std::bad_alloc();
    index_.release();
    index_.reset(grown);
    indexSize_ = 2 * oldSize;
    std::memset(static_cast<void*>(grown + oldSize), 0, oldSize * sizeof(IndexEntry));
    for (std::size_t i = 0; i < oldSize; ++i)
        grown[i].slot = -grown[i].slot;
    const std::size_t mask = indexSize_ - 1;
    for (std::size_t i = 0; i < oldSize; ++i) {
        while (grown[i].slot < 0) {
            const IndexEntry entry{grown[i].hash, -grown[i].slot};
            std::size_t j = entry.hash & mask;
            while (grown[j].slot > 0)
                j = (j + 1) & mask;
            if (j == i) {
                grown[i] = entry;
            } else if (grown[j].slot == 0) {
                grown[j] = entry;
                grown[i] = IndexEntry{};
            } else {
                grown[i] = grown[j];
                grown[j] = entry;
            }
        }
    }
}

// Removes the entry of slot id and moves later entries of its probe run back into the gap,
// so that lookups never need markers of removed entries.
void TXLSStringTable::Unindex(std::int32_t id) {
    const Slot& slot = SlotAt(id);
    const std::uint32_t hash = HashBytes(BytesOf(slot), ByteLength(slot), slot.wide);
    const std::size_t mask = indexSize_ - 1;
    std::size_t gap = hash & mask;
    while (index_[gap].slot != id)
        gap = (gap + 1) & mask;
    for (std::size_t i = (gap + 1) & mask; index_[i].slot != 0; i = (i + 1) & mask) {
        // An entry may fill the gap when its home lies cyclically outside (gap, i].
        const std::size_t home = index_[i].hash & mask;
        const bool homeAfterGap = gap <= i ? (gap < home && home <= i) : (gap < home || home <= i);
        if (!homeAfterGap) {
            index_[gap] = index_[i];
            gap = i;
        }
    }
    index_[gap] = IndexEntry{};
}

// Copies the texts in use to new blocks, back to back.
void TXLSStringTable::Compact() {
    TextBlocks packed;
    std::uint64_t end = 0;
    std::vector<std::uint64_t> offsets;
    offsets.reserve(distinct_);
    for (std::int32_t id = 1; id < slotCount_; ++id) {
        const Slot& slot = SlotAt(id);
        if (slot.refCount > 0)
            offsets.push_back(StoreText(packed, end, BytesOf(slot), ByteLength(slot)));
    }
    // Nothing below throws: the slots move to the new blocks all at once.
    auto next = offsets.begin();
    for (std::int32_t id = 1; id < slotCount_; ++id) {
        Slot& slot = SlotAt(id);
        if (slot.refCount > 0)
            slot.offset = *next++;
    }
    textBlocks_ = std::move(packed);
    textEnd_ = end;
    deadBytes_ = 0;
}

std::int32_t TXLSStringTable::AddString(std::u16string_view text) {
    if (text.size() > kMaxSstTextLength) {
        std::size_t keep = kMaxSstTextLength;
        if (IsHighSurrogate(text[keep - 1]) && IsLowSurrogate(text[keep]))
            --keep;
        text = text.substr(0, keep);
    }
    // The key: one byte per character when every character fits in one, else UTF-16LE.
    const std::size_t length = text.size();
    if (key_.size() < 2 * length)
        key_.resize(2 * length);
    char16_t all = 0;
    for (std::size_t i = 0; i < length; ++i) {
        key_[i] = static_cast<std::uint8_t>(text[i]);
        all |= text[i];
    }
    const bool wide = all > 0xFF;
    if (wide) {
        for (std::size_t i = 0; i < length; ++i) {
            key_[2 * i] = static_cast<std::uint8_t>(text[i]);
            key_[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
        }
    }
    const std::size_t byteCount = wide ? 2 * length : length;
    const std::uint32_t hash = HashBytes(key_.data(), byteCount, wide);

    if (4 * (std::size_t{distinct_} + 1) > 3 * indexSize_)
        Grow();
    IndexEntry& entry = index_[FindEntry(hash, wide, length)];
    if (entry.slot != 0) {
        ++totalRefs_;
        ++SlotAt(entry.slot).refCount;
        return entry.slot;
    }
    // What may throw comes first and leaves the table as it was.
    const bool reused = !freeSlots_.empty();
    const std::int32_t id = reused ? freeSlots_.back() : slotCount_;
    if (static_cast<std::size_t>(id >> kSlotBlockShift) == slotBlocks_.size())
        slotBlocks_.push_back(std::make_unique<Slot[]>(std::size_t{1} << kSlotBlockShift));
    const std::uint64_t offset = StoreText(textBlocks_, textEnd_, key_.data(), byteCount);
    if (reused)
        freeSlots_.pop_back();
    else
        ++slotCount_;
    ++totalRefs_;
    ++distinct_;
    Slot& slot = SlotAt(id);
    slot.offset = offset;
    slot.length = length;
    slot.wide = wide;
    slot.refCount = 1;
    slot.sstIndex = -1;
    entry = IndexEntry{hash, id};
    return id;
}

void TXLSStringTable::ReleaseString(std::int32_t id) {
    if (!IsValid(id))
        return;
    Slot& slot = SlotAt(id);
    // A slot that is already free has no reference to give back; releasing it again would
    // put it on the free stack twice and let two texts share it.
    if (slot.refCount <= 0)
        return;
    --totalRefs_;
    if (--slot.refCount > 0)
        return;
    --distinct_;
    Unindex(id);
    const std::size_t bytes = ByteLength(slot);
    if (bytes > 0 && slot.offset + bytes == textEnd_)
        textEnd_ = slot.offset;
    else
        deadBytes_ += bytes;
    slot = Slot{};
    if (id == HighWaterSlot()) {
        // The last block of slots goes when its first slot does.
        if ((--slotCount_ & kSlotBlockMask) == 0)
            slotBlocks_.pop_back();
    } else {
        freeSlots_.push_back(id);
    }
    if (deadBytes_ >= kMinCompactBytes && deadBytes_ >= std::uint64_t(slotCount_) &&
        2 * deadBytes_ > textEnd_) {
        try {
            Compact();
        } catch (const std::bad_alloc&) {
            // Without the memory to pack them, the texts stay where they are.
        }
    }
}

void TXLSStringTable::MoveStringReference(std::int32_t oldId, std::int32_t newId) {
    // The new reference is taken first, so that moving a slot's last reference onto itself
    // keeps the text. A free slot takes no reference: it holds no text.
    if (IsValid(newId) && SlotAt(newId).refCount > 0) {
        ++SlotAt(newId).refCount;
        ++totalRefs_;
    }
    if (oldId > 0)
        ReleaseString(oldId);
}

std::u16string TXLSStringTable::StringAt(std::int32_t id) const {
    std::u16string text;
    if (!IsValid(id))
        return text;
    const Slot& slot = SlotAt(id);
    const std::uint8_t* bytes = BytesOf(slot);
    text.resize(slot.length);
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = slot.wide ? static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8)
                            : static_cast<char16_t>(bytes[i]);
    return text;
}

void TXLSStringTable::AssignSstIndexes() {
    std::int32_t next = 0;
    for (std::int32_t id = 1; id < slotCount_; ++id) {
        Slot& slot = SlotAt(id);
        slot.sstIndex = slot.refCount >= 1 ? next++ : -1;
    }
}

void TXLSStringTable::SetMaxRecordData(std::uint16_t maxRecordData) {
    maxRecordData_ = std::clamp(maxRecordData, kMinRecordData, kMaxRecordData);
}

std::int32_t TXLSStringTable::WriteSst(TXLSBlobList& list, std::int32_t streamOffset) const {
    if (distinct_ == 0)
        return 1;
    SstWriter writer(list, kRecordHeaderSize + maxRecordData_, streamOffset, totalRefs_, distinct_);
    std::uint32_t ordinal = 0;
    for (std::int32_t id = 1; id < slotCount_; ++id) {
        const Slot& slot = SlotAt(id);
        if (slot.refCount >= 1)
            writer.WriteText(BytesOf(slot), slot.length, slot.wide, ordinal++);
    }
    writer.Finish();
    return 1;
}

} // namespace kelvora
