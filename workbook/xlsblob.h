// Record buffers and stream framing of the BIFF8 writer: every record is built whole in a
// TXLSBlob (4-byte header + data) and appended to a chunked TXLSBlobList that holds one
// section of a substream as a flat byte sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace kelvora {

// BIFF8 format constants.
inline constexpr std::uint16_t kMaxRecordData = 8224; // largest data part of one record
inline constexpr std::uint32_t kRecordHeaderSize = 4; // record type + data length
inline constexpr std::uint16_t kContinueRecordType = 0x003C;
// Writer's own choice: size of one chunk of a record list.
inline constexpr std::uint16_t kBlobChunkSize = 4048;

// Where finished bytes go; the compound-file layer implements it for the "Workbook" stream.
class TXLSOutputStream {
public:
    virtual ~TXLSOutputStream();
    // Writes up to count bytes and returns how many were written.
    virtual std::size_t Write(const void* data, std::size_t count) = 0;
};

// A growable byte buffer; appends are little-endian.
class TXLSBlob {
public:
    // Allocates exactly capacity bytes (nothing for 0). A failed allocation leaves capacity 0;
    // the next growing write tries again and throws std::bad_alloc when that fails too.
    explicit TXLSBlob(std::uint32_t capacity = 0);
    static std::unique_ptr<TXLSBlob> Create(std::uint32_t capacity);

    TXLSBlob(const TXLSBlob&) = delete;
    TXLSBlob& operator=(const TXLSBlob&) = delete;

    std::uint32_t Capacity() const { return capacity_; }
    std::uint32_t Length() const { return length_; }
    const std::uint8_t* Data() const { return data_.get(); }

    void AddByte(std::uint8_t value);
    void AddWord(std::uint16_t value);
    void AddDword(std::uint32_t value);
    void AddDouble(double value);
    void AddAnsiText(std::string_view text);
    void AddWideText(std::u16string_view text);

    // Writes at offset without moving the append position (patches a length field).
    void PutWord(std::uint32_t offset, std::uint16_t value);
    // The uint16 at offset; 0 when offset + 2 lies beyond the written bytes.
    std::uint16_t GetWord(std::uint32_t offset) const;

    // Copies n bytes of source, from offset, to the end of this buffer. Callers size the
    // target for everything they copy; a source range outside source's bytes is clipped.
    void AppendFrom(const TXLSBlob& source, std::uint32_t offset, std::uint32_t n);

    // Writes bytes 0..length-1 in one call: 1 when all were accepted, -1 otherwise.
    std::int32_t WriteTo(TXLSOutputStream& stream) const;

private:
    void EnsureRoom(std::uint32_t offset, std::uint32_t n);
    void Append(const void* bytes, std::uint32_t n);

    std::unique_ptr<std::uint8_t[]> data_;
    std::uint32_t capacity_ = 0;
    std::uint32_t length_ = 0;
};

using TXLSBlobPtr = std::unique_ptr<TXLSBlob>;

// An ordered chain of 4048-byte chunks; chunk boundaries ignore record boundaries.
class TXLSBlobList {
public:
    TXLSBlobList() = default;
    TXLSBlobList(const TXLSBlobList&) = delete;
    TXLSBlobList& operator=(const TXLSBlobList&) = delete;

    // Copies blob's bytes to the end of the chain and consumes it. A null blob adds nothing.
    std::int32_t AppendBlob(TXLSBlobPtr blob);
    // Copies blob's bytes to the end of the chain; the caller keeps blob.
    std::int32_t AppendBlob(const TXLSBlob& blob);
    // Appends every chunk of other in order; other stays intact.
    std::int32_t AppendList(const TXLSBlobList& other);

    std::int32_t Count() const { return static_cast<std::int32_t>(chunks_.size()); }
    // The chunk at i, or nullptr outside 0..Count()-1.
    const TXLSBlob* Item(std::int32_t i) const;
    std::int32_t Total() const { return total_; }

    // WriteTo of each chunk; stops at and returns the first result other than 1.
    std::int32_t WriteTo(TXLSOutputStream& stream) const;

private:
    std::vector<TXLSBlobPtr> chunks_;
    std::uint16_t fill_ = kBlobChunkSize; // full "last chunk": the first append opens one
    std::int32_t total_ = 0;
};

// Cuts a record longer than limit + 4 bytes into the record and CONTINUE records of at most
// limit data bytes each, blind to the contents. Consumes record; a record that already fits
// comes back unchanged.
TXLSBlobPtr SplitRecord(TXLSBlobPtr record, std::uint16_t limit);

// Adds a finished record to a substream section: splits it when its data exceeds
// maxRecordData, adds its final size to runningCount and appends it. A null record (a
// builder with nothing to write) is skipped. Returns 1.
std::int32_t AddRecord(TXLSBlobList& section, TXLSBlobPtr record, std::int32_t& runningCount,
                       std::uint16_t maxRecordData = kMaxRecordData);

// Streams one record whose data arrives in parts but whose total data length is declared
// up front; pieces beyond limit data bytes become CONTINUE records.
class TXLSBiffWriter {
public:
    TXLSBiffWriter(TXLSBlobList& target, std::uint16_t limit = kMaxRecordData);
    ~TXLSBiffWriter();
    TXLSBiffWriter(const TXLSBiffWriter&) = delete;
    TXLSBiffWriter& operator=(const TXLSBiffWriter&) = delete;

    // Starts a record of exactly total data bytes (ends an unfinished earlier record first).
    void BeginRecord(std::uint16_t type, std::int32_t total);
    // Adds blob's bytes to the record and consumes blob; a null blob is ignored. Bytes
    // beyond the declared total are dropped.
    void WriteData(TXLSBlobPtr blob);
    // Appends the piece being filled. Declared bytes that never arrived are written as
    // zeros, so that every length field stays true.
    void EndRecord();

private:
    void OpenPiece(std::uint16_t type);
    void WriteBytes(const TXLSBlob& blob);

    TXLSBlobList& target_;
    std::uint16_t limit_;
    std::int32_t total_ = 0;
    std::int32_t remaining_ = 0;
    std::int32_t room_ = 0;
    TXLSBlobPtr piece_;
};

} // namespace kelvora
