// The shared string table: every cell text stored once, reference counted, written as the
// SST record with its CONTINUE records and the EXTSST index.
#pragma once

#include "xlsblob.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

// BIFF8 format constants.
inline constexpr std::uint16_t kSstRecordType = 0x00FC;
inline constexpr std::uint16_t kExtSstRecordType = 0x00FF;
inline constexpr std::uint16_t kExtSstBucketSize = 8; // texts per EXTSST entry (dsst)

class TXLSStringTable {
public:
    TXLSStringTable();

    // The string id (slot, 1 or more) holding text, with one more reference.
    std::int32_t AddString(std::u16string_view text);
    // Gives back one reference; ids outside 1..HighWaterSlot() are ignored.
    void ReleaseString(std::int32_t id);
    // Gives back one reference to oldId (when above 0) and takes one on newId (when 1 or more).
    void MoveStringReference(std::int32_t oldId, std::int32_t newId);
    // The text of a slot; empty outside 1..HighWaterSlot().
    const std::u16string& StringAt(std::int32_t id) const;
    std::int32_t ReferenceCount(std::int32_t id) const;

    // Numbers the slots in use 0, 1, 2 ... in slot order; other slots get -1.
    void AssignSstIndexes();
    // SST index of a slot (after AssignSstIndexes), -1 outside 1..HighWaterSlot().
    std::int32_t SstIndexFor(std::int32_t id) const;

    // Largest record data of the save, 8224 for BIFF8.
    void SetMaxRecordData(std::uint16_t maxRecordData);
    std::uint16_t MaxRecordData() const { return maxRecordData_; }

    // Appends SST, its CONTINUE records and EXTSST (with its CONTINUE records) to list;
    // nothing when no text is in use. streamOffset is where the SST record will start in
    // the workbook stream. Returns 1.
    std::int32_t WriteSst(TXLSBlobList& list, std::int32_t streamOffset) const;

    std::uint32_t TotalReferences() const { return totalRefs_; }
    std::uint32_t DistinctTexts() const { return distinct_; }
    std::int32_t HighWaterSlot() const { return static_cast<std::int32_t>(slots_.size()) - 1; }

private:
    struct Slot {
        std::u16string text;
        std::int32_t sstIndex = -1;
        std::int32_t refCount = 0;
    };
    // Hash index entry: chain link and hash of the slot's text; the text lives in the slot.
    struct TSTHashEntry {
        std::int32_t next = -1;
        std::uint32_t hash = 0;
    };

    bool IsValid(std::int32_t id) const { return id >= 1 && id <= HighWaterSlot(); }
    std::int32_t FindSlot(std::u16string_view text, std::uint32_t hash) const;
    void IndexSlot(std::int32_t id, std::uint32_t hash);
    void UnindexSlot(std::int32_t id);
    void GrowIndex();

    // Slot 0 is never used. A deque allocates and gives back whole blocks as the table
    // grows and shrinks at its end.
    std::deque<Slot> slots_;
    std::vector<std::int32_t> freeSlots_;   // freed slots below the high-water slot, top last
    std::vector<TSTHashEntry> hashEntries_; // one per slot, same numbering
    std::vector<std::int32_t> heads_;       // first slot of each bucket, -1 when empty
    std::int32_t indexed_ = 0;
    std::uint32_t totalRefs_ = 0;
    std::uint32_t distinct_ = 0;
    std::uint16_t maxRecordData_ = kMaxRecordData;
};

} // namespace kelvora
