#include "xlssst.h"

#include "xlshash.h"

#include <algorithm>

namespace kelvora {
namespace {

constexpr std::uint32_t kSstHeaderData = 8;   // cstTotal + cstUnique
constexpr std::uint32_t kFreshTextHeader = 3; // cch (2) + option byte
constexpr std::uint32_t kContinuedHeader = 1; // option byte alone
constexpr std::uint8_t kUtf16Option = 0x01;   // uncompressed UTF-16LE, no runs, no phonetics
constexpr std::uint32_t kExtSstEntrySize = 8; // ib (4), cbOffset (2), reserved (2)
// A fresh text never starts in fewer bytes than this: its header and one character.
constexpr std::uint32_t kMinFreshRoom = 5;
// cch is a 16-bit count; longer texts are cut to this many characters.
constexpr std::size_t kMaxTextLength = 0xFFFF;
// Below this the SST header and one EXTSST entry would not fit in a record.
constexpr std::uint16_t kMinRecordData = 8;

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

    void WriteText(std::u16string_view text, std::uint32_t ordinal) {
        text = text.substr(0, kMaxTextLength);
        const auto length = static_cast<std::uint16_t>(text.size());
        bool fresh = true;
        for (;;) {
            const std::uint32_t used = record_->Length();
            const std::uint32_t header = fresh ? kFreshTextHeader : kContinuedHeader;
            const auto chars = static_cast<std::uint32_t>(text.size());
            if (used + header + 2 * chars <= limit_) {
                if (fresh && ordinal % kExtSstBucketSize == 0)
                    AddExtEntry(used);
                WriteSegment(fresh, length, text);
                return;
            }
            if (fresh && limit_ - used < kMinFreshRoom) {
                NextRecord();
                continue;
            }
            if (fresh && ordinal % kExtSstBucketSize == 0)
                AddExtEntry(used);
            std::uint32_t fit = (limit_ - used - header) / 2;
            // A surrogate pair is one character: it is never cut in two, so that readers that
            // decode each piece on its own get whole characters.
            if (fit > 0 && text[fit - 1] >= 0xD800 && text[fit - 1] <= 0xDBFF)
                --fit;
            WriteSegment(fresh, length, text.substr(0, fit));
            text.remove_prefix(fit);
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

    void WriteSegment(bool fresh, std::uint16_t length, std::u16string_view chars) {
        if (fresh)
            record_->AddWord(length);
        record_->AddByte(kUtf16Option);
        record_->AddWideText(chars);
        position_ += static_cast<std::int32_t>((fresh ? kFreshTextHeader : kContinuedHeader) +
                                               2 * chars.size());
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

TXLSStringTable::TXLSStringTable() : slots_(1), hashEntries_(1), heads_(kInitialHashBuckets, -1) {}

std::int32_t TXLSStringTable::FindSlot(std::u16string_view text, std::uint32_t hash) const {
    std::int32_t s = heads_[hash & (heads_.size() - 1)];
    while (s > 0) {
        const TSTHashEntry& e = hashEntries_[static_cast<std::size_t>(s)];
        if (e.hash == hash && slots_[static_cast<std::size_t>(s)].text == text)
            return s;
        s = e.next;
    }
    return 0;
}

// Same rule as THash: before an insert, double when there are more entries than mask.
void TXLSStringTable::GrowIndex() {
    DoubleBuckets(heads_, [this](std::int32_t s) -> TSTHashEntry& {
        return hashEntries_[static_cast<std::size_t>(s)];
    });
}

void TXLSStringTable::IndexSlot(std::int32_t id, std::uint32_t hash) {
    if (static_cast<std::int32_t>(heads_.size()) - 1 < indexed_)
        GrowIndex();
    std::int32_t& head = heads_[hash & (heads_.size() - 1)];
    hashEntries_[static_cast<std::size_t>(id)] = TSTHashEntry{head, hash};
    head = id;
    ++indexed_;
}

void TXLSStringTable::UnindexSlot(std::int32_t id) {
    TSTHashEntry& entry = hashEntries_[static_cast<std::size_t>(id)];
    std::int32_t* link = &heads_[entry.hash & (heads_.size() - 1)];
    while (*link > 0 && *link != id)
        link = &hashEntries_[static_cast<std::size_t>(*link)].next;
    if (*link == id) {
        *link = entry.next;
        --indexed_;
    }
    entry = TSTHashEntry{};
}

std::int32_t TXLSStringTable::AddString(std::u16string_view text) {
    const std::uint32_t hash = HashKey(text);
    ++totalRefs_;
    if (const std::int32_t s = FindSlot(text, hash); s > 0) {
        ++slots_[static_cast<std::size_t>(s)].refCount;
        return s;
    }
    ++distinct_;
    std::int32_t id;
    if (!freeSlots_.empty()) {
        id = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        id = static_cast<std::int32_t>(slots_.size());
        slots_.emplace_back();
        hashEntries_.emplace_back();
    }
    Slot& slot = slots_[static_cast<std::size_t>(id)];
    slot.text = std::u16string(text);
    slot.refCount = 1;
    slot.sstIndex = -1;
    IndexSlot(id, hash);
    return id;
}

void TXLSStringTable::ReleaseString(std::int32_t id) {
    if (!IsValid(id))
        return;
    Slot& slot = slots_[static_cast<std::size_t>(id)];
    // A slot that is already free has no reference to give back; releasing it again would
    // put it on the free stack twice and let two texts share it.
    if (slot.refCount <= 0)
        return;
    --totalRefs_;
    if (--slot.refCount > 0)
        return;
    --distinct_;
    UnindexSlot(id);
    slot.text = std::u16string();
    if (id == HighWaterSlot()) {
        slots_.pop_back();
        hashEntries_.pop_back();
    } else {
        freeSlots_.push_back(id);
    }
}

void TXLSStringTable::MoveStringReference(std::int32_t oldId, std::int32_t newId) {
    // The new reference is taken first, so that moving a slot's last reference onto itself
    // keeps the text. A free slot takes no reference: it holds no text.
    if (IsValid(newId) && slots_[static_cast<std::size_t>(newId)].refCount > 0) {
        ++slots_[static_cast<std::size_t>(newId)].refCount;
        ++totalRefs_;
    }
    if (oldId > 0)
        ReleaseString(oldId);
}

const std::u16string& TXLSStringTable::StringAt(std::int32_t id) const {
    static const std::u16string empty;
    return IsValid(id) ? slots_[static_cast<std::size_t>(id)].text : empty;
}

std::int32_t TXLSStringTable::ReferenceCount(std::int32_t id) const {
    return IsValid(id) ? slots_[static_cast<std::size_t>(id)].refCount : 0;
}

void TXLSStringTable::AssignSstIndexes() {
    std::int32_t next = 0;
    for (std::size_t s = 1; s < slots_.size(); ++s)
        slots_[s].sstIndex = slots_[s].refCount >= 1 ? next++ : -1;
}

std::int32_t TXLSStringTable::SstIndexFor(std::int32_t id) const {
    return IsValid(id) ? slots_[static_cast<std::size_t>(id)].sstIndex : -1;
}

void TXLSStringTable::SetMaxRecordData(std::uint16_t maxRecordData) {
    maxRecordData_ = std::clamp(maxRecordData, kMinRecordData, kMaxRecordData);
}

std::int32_t TXLSStringTable::WriteSst(TXLSBlobList& list, std::int32_t streamOffset) const {
    if (distinct_ == 0)
        return 1;
    SstWriter writer(list, kRecordHeaderSize + maxRecordData_, streamOffset, totalRefs_, distinct_);
    std::uint32_t ordinal = 0;
    for (std::size_t s = 1; s < slots_.size(); ++s) {
        if (slots_[s].refCount >= 1)
            writer.WriteText(slots_[s].text, ordinal++);
    }
    writer.Finish();
    return 1;
}

} // namespace kelvora
