// The shared string table: every cell text stored once, reference counted, written as the
// SST record with its CONTINUE records and the EXTSST index.
#pragma once

#include "xlsblob.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

// BIFF8 format constants.
inline constexpr std::uint16_t kSstRecordType = 0x00FC;
inline constexpr std::uint16_t kExtSstRecordType = 0x00FF;
inline constexpr std::uint16_t kExtSstBucketSize = 8; // texts per EXTSST entry (dsst)
// Longest text of a cell, in UTF-16 code units.
inline constexpr std::size_t kMaxSstTextLength = 32767;

// Texts are kept back to back in blocks of bytes: in 8 bits when every character is below
// U+0100 (and then written in the SST's compressed form), else as UTF-16LE. An index with
// open addressing, holding each text's hash beside its slot, finds a text's slot.
class TXLSStringTable {
public:
    TXLSStringTable();

    // The string id (slot, 1 or more) holding text, with one more reference. A text longer
    // than kMaxSstTextLength code units is cut to that length (one less when the cut would
    // split a surrogate pair); texts equal after the cut share one id.
    std::int32_t AddString(std::u16string_view text);
    // Gives back one reference; ids outside 1..HighWaterSlot() are ignored.
    void ReleaseString(std::int32_t id);
    // Gives back one reference to oldId (when above 0) and takes one on newId (when 1 or more).
    void MoveStringReference(std::int32_t oldId, std::int32_t newId);
    // The text of a slot; empty outside 1..HighWaterSlot() and for a free slot.
    std::u16string StringAt(std::int32_t id) const;
    std::int32_t ReferenceCount(std::int32_t id) const {
        return IsValid(id) ? SlotAt(id).refCount : 0;
    }

    // Numbers the slots in use 0, 1, 2 ... in slot order; other slots get -1.
    void AssignSstIndexes();
    // SST index of a slot (after AssignSstIndexes), -1 outside 1..HighWaterSlot().
    std::int32_t SstIndexFor(std::int32_t id) const {
        return IsValid(id) ? SlotAt(id).sstIndex : -1;
    }

    // Largest record data of the save, 8224 for BIFF8.
    void SetMaxRecordData(std::uint16_t maxRecordData);
    std::uint16_t MaxRecordData() const { return maxRecordData_; }

    // Appends SST, its CONTINUE records and EXTSST (with its CONTINUE records) to list;
    // nothing when no text is in use. streamOffset is where the SST record will start in
    // the workbook stream. Returns 1.
    std::int32_t WriteSst(TXLSBlobList& list, std::int32_t streamOffset) const;

    std::uint32_t TotalReferences() const { return totalRefs_; }
    std::uint32_t DistinctTexts() const { return distinct_; }
    std::int32_t HighWaterSlot() const { return slotCount_ - 1; }

private:
    // The text of a slot: length characters at offset in the text blocks, two bytes each
    // (UTF-16LE) when wide, else one.
    struct Slot {
        std::uint64_t offset : 48 = 0;
        std::uint64_t length : 15 = 0; // at most kMaxSstTextLength
        std::uint64_t wide : 1 = 0;
        std::int32_t refCount = 0;
        std::int32_t sstIndex = -1;
    };
    // An index entry: the hash of a slot's text and the slot; slot 0 marks a free entry.
    struct IndexEntry {
        std::uint32_t hash = 0;
        std::int32_t slot = 0;
    };
    // The index grows in place (realloc), so that its pages are not touched anew each time.
    struct FreeIndex {
        void operator()(IndexEntry* entries) const;
    };
    // Slots and texts live in blocks that never move: growing copies nothing and touches
    // each page once. A text block holds four of the longest texts; a text never spans two.
    static constexpr int kSlotBlockShift = 12;
    static constexpr std::int32_t kSlotBlockMask = (1 << kSlotBlockShift) - 1;
    static constexpr int kTextBlockShift = 18;
    static constexpr std::uint64_t kTextBlockSize = std::uint64_t{1} << kTextBlockShift;
    using TextBlocks = std::vector<std::unique_ptr<std::uint8_t[]>>;

    bool IsValid(std::int32_t id) const { return id >= 1 && id <= HighWaterSlot(); }
    Slot& SlotAt(std::int32_t id) {
        return slotBlocks_[static_cast<std::size_t>(id >> kSlotBlockShift)][id & kSlotBlockMask];
    }
    const Slot& SlotAt(std::int32_t id) const {
        return slotBlocks_[static_cast<std::size_t>(id >> kSlotBlockShift)][id & kSlotBlockMask];
    }
    static std::size_t ByteLength(const Slot& slot) {
        return static_cast<std::size_t>(slot.length) << slot.wide;
    }
    const std::uint8_t* BytesOf(const Slot& slot) const {
        if (slot.length == 0)
            return nullptr;
        return textBlocks_[slot.offset >> kTextBlockShift].get() +
               (slot.offset & (kTextBlockSize - 1));
    }
    static std::uint64_t StoreText(TextBlocks& blocks, std::uint64_t& end,
                                   const std::uint8_t* bytes, std::size_t count);
    std::size_t FindEntry(std::uint32_t hash, bool wide, std::size_t length) const;
    void Grow();
    void Unindex(std::int32_t id);
    void Compact();

    std::vector<std::unique_ptr<Slot[]>> slotBlocks_;
    std::int32_t slotCount_ = 1;          // slot 0 is never used
    std::vector<std::int32_t> freeSlots_; // freed slots below the high-water slot, top last
    std::unique_ptr<IndexEntry[], FreeIndex> index_;
    std::size_t indexSize_ = 0; // a power of two; at most three quarters of it in use
    TextBlocks textBlocks_;
    std::uint64_t textEnd_ = 0;     // where the next text goes
    std::uint64_t deadBytes_ = 0;   // bytes of released texts still in the blocks
    std::vector<std::uint8_t> key_; // the bytes of the text being added
    std::uint32_t totalRefs_ = 0;
    std::uint32_t distinct_ = 0;
    std::uint16_t maxRecordData_ = kMaxRecordData;
};

} // namespace kelvora
