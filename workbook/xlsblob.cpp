#include "xlsblob.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kelvora {

TXLSOutputStream::~TXLSOutputStream() = default;

TXLSBlob::TXLSBlob(std::uint32_t capacity) {
    if (capacity == 0)
        return;
    data_.reset(new (std::nothrow) std::uint8_t[capacity]);
    if (data_)
        capacity_ = capacity;
}

std::unique_ptr<TXLSBlob> TXLSBlob::Create(std::uint32_t capacity) {
    return std::make_unique<TXLSBlob>(capacity);
}

// Grows to exactly offset + n bytes: records are created at their final size, so growth
// only happens for buffers whose size is not known in advance.
void TXLSBlob::EnsureRoom(std::uint32_t offset, std::uint32_t n) {
    const std::uint64_t needed = std::uint64_t{offset} + n;
    if (needed <= capacity_)
        return;
    if (needed > UINT32_MAX)
        throw std::bad_alloc();
    auto grown = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(needed));
    if (length_ > 0)
        std::memcpy(grown.get(), data_.get(), length_);
    data_ = std::move(grown);
    capacity_ = static_cast<std::uint32_t>(needed);
}

void TXLSBlob::Append(const void* bytes, std::uint32_t n) {
    if (n == 0)
        return;
    EnsureRoom(length_, n);
    std::memcpy(data_.get() + length_, bytes, n);
    length_ += n;
}

void TXLSBlob::AddByte(std::uint8_t value) {
    Append(&value, 1);
}

void TXLSBlob::AddWord(std::uint16_t value) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value),
                                   static_cast<std::uint8_t>(value >> 8)};
    Append(bytes, 2);
}

void TXLSBlob::AddDword(std::uint32_t value) {
    AddWord(static_cast<std::uint16_t>(value));
    AddWord(static_cast<std::uint16_t>(value >> 16));
}

void TXLSBlob::AddDouble(double value) {
    std::uint64_t bits;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    AddDword(static_cast<std::uint32_t>(bits));
    AddDword(static_cast<std::uint32_t>(bits >> 32));
}

void TXLSBlob::AddAnsiText(std::string_view text) {
    Append(text.data(), static_cast<std::uint32_t>(text.size()));
}

void TXLSBlob::AddWideText(std::u16string_view text) {
    const auto n = static_cast<std::uint32_t>(text.size());
    EnsureRoom(length_, 2 * n);
    std::uint8_t* out = data_.get() + length_;
    for (char16_t c : text) {
        *out++ = static_cast<std::uint8_t>(c);
        *out++ = static_cast<std::uint8_t>(c >> 8);
    }
    length_ += 2 * n;
}

void TXLSBlob::PutWord(std::uint32_t offset, std::uint16_t value) {
    EnsureRoom(offset, 2);
    data_[offset] = static_cast<std::uint8_t>(value);
    data_[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t TXLSBlob::GetWord(std::uint32_t offset) const {
    if (std::uint64_t{offset} + 2 > length_)
        return 0;
    return static_cast<std::uint16_t>(data_[offset] | (data_[offset + 1] << 8));
}

void TXLSBlob::AppendFrom(const TXLSBlob& source, std::uint32_t offset, std::uint32_t n) {
    if (offset >= source.length_)
        return;
    Append(source.data_.get() + offset, std::min(n, source.length_ - offset));
}

std::int32_t TXLSBlob::WriteTo(TXLSOutputStream& stream) const {
    return stream.Write(data_.get(), length_) == length_ ? 1 : -1;
}

std::int32_t TXLSBlobList::AppendBlob(TXLSBlobPtr blob) {
    return blob ? AppendBlob(*blob) : 1;
}

std::int32_t TXLSBlobList::AppendBlob(const TXLSBlob& blob) {
    const std::uint32_t n = blob.Length();
    std::uint32_t done = 0;
    while (done < n) {
        if (fill_ == kBlobChunkSize) {
            chunks_.push_back(TXLSBlob::Create(kBlobChunkSize));
            fill_ = 0;
        }
        const std::uint32_t k = std::min<std::uint32_t>(kBlobChunkSize - fill_, n - done);
        chunks_.back()->AppendFrom(blob, done, k);
        fill_ = static_cast<std::uint16_t>(fill_ + k);
        total_ += static_cast<std::int32_t>(k);
        done += k;
    }
    return 1;
}

std::int32_t TXLSBlobList::AppendList(const TXLSBlobList& other) {
    // Appending a list to itself copies what it held before the call.
    const std::int32_t count = other.Count();
    for (std::int32_t i = 0; i < count; ++i)
        AppendBlob(*other.chunks_[static_cast<std::size_t>(i)]);
    return 1;
}

const TXLSBlob* TXLSBlobList::Item(std::int32_t i) const {
    if (i < 0 || i >= Count())
        return nullptr;
    return chunks_[static_cast<std::size_t>(i)].get();
}

std::int32_t TXLSBlobList::WriteTo(TXLSOutputStream& stream) const {
    for (const auto& chunk : chunks_) {
        const std::int32_t result = chunk->WriteTo(stream);
        if (result != 1)
            return result;
    }
    return 1;
}

TXLSBlobPtr SplitRecord(TXLSBlobPtr record, std::uint16_t limit) {
    if (!record || limit == 0)
        return record;
    const std::uint32_t n = record->Length();
    const std::uint32_t first = limit + kRecordHeaderSize;
    if (n <= first)
        return record;
    const std::uint32_t q = (n - first) / limit;
    const std::uint32_t r = (n - first) % limit;
    auto result = TXLSBlob::Create(first * (q + 1) + (r > 0 ? r + kRecordHeaderSize : 0));
    result->AppendFrom(*record, 0, first);
    result->PutWord(0, record->GetWord(0));
    result->PutWord(2, limit);
    for (std::uint32_t pos = first; pos < n;) {
        const std::uint32_t k = std::min<std::uint32_t>(limit, n - pos);
        result->AddWord(kContinueRecordType);
        result->AddWord(static_cast<std::uint16_t>(k));
        result->AppendFrom(*record, pos, k);
        pos += k;
    }
    return result;
}

std::int32_t AddRecord(TXLSBlobList& section, TXLSBlobPtr record, std::int32_t& runningCount,
                       std::uint16_t maxRecordData) {
    if (!record)
        return 1;
    if (record->Length() > std::uint32_t{maxRecordData} + kRecordHeaderSize)
        record = SplitRecord(std::move(record), maxRecordData);
    runningCount += static_cast<std::int32_t>(record->Length());
    return section.AppendBlob(std::move(record));
}

TXLSBiffWriter::TXLSBiffWriter(TXLSBlobList& target, std::uint16_t limit)
    : target_(target), limit_(limit == 0 ? kMaxRecordData : limit) {}

TXLSBiffWriter::~TXLSBiffWriter() = default;

void TXLSBiffWriter::OpenPiece(std::uint16_t type) {
    room_ = std::min<std::int32_t>(limit_, remaining_);
    piece_ = TXLSBlob::Create(static_cast<std::uint32_t>(room_) + kRecordHeaderSize);
    piece_->AddWord(type);
    piece_->AddWord(static_cast<std::uint16_t>(room_));
}

void TXLSBiffWriter::BeginRecord(std::uint16_t type, std::int32_t total) {
    if (piece_)
        EndRecord();
    total_ = std::max(total, 0);
    remaining_ = total_;
    OpenPiece(type);
}

void TXLSBiffWriter::WriteBytes(const TXLSBlob& blob) {
    const std::uint32_t n = blob.Length();
    std::uint32_t done = 0;
    while (done < n && piece_) {
        const std::uint32_t k =
            std::min<std::uint32_t>(static_cast<std::uint32_t>(room_), n - done);
        piece_->AppendFrom(blob, done, k);
        done += k;
        room_ -= static_cast<std::int32_t>(k);
        remaining_ -= static_cast<std::int32_t>(k);
        if (room_ == 0) {
            target_.AppendBlob(std::move(piece_));
            if (remaining_ > 0)
                OpenPiece(kContinueRecordType);
        }
    }
}

void TXLSBiffWriter::WriteData(TXLSBlobPtr blob) {
    if (blob)
        WriteBytes(*blob);
}

void TXLSBiffWriter::EndRecord() {
    if (remaining_ > 0) {
        TXLSBlob zeros(static_cast<std::uint32_t>(remaining_));
        for (std::int32_t i = 0; i < remaining_; ++i)
            zeros.AddByte(0);
        WriteBytes(zeros);
    }
    if (piece_)
        target_.AppendBlob(std::move(piece_));
}

} // namespace kelvora
