#include "record_walker.h"
#include "workbook/xlsblob.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace kelvora;
using namespace kelvora::test;

namespace {

// A record of the given type whose data bytes count 0, 1, 2 ... (mod 251).
TXLSBlobPtr MakeRecord(std::uint16_t type, std::uint32_t dataLength) {
    auto record = TXLSBlob::Create(4 + dataLength);
    record->AddWord(type);
    record->AddWord(static_cast<std::uint16_t>(dataLength));
    for (std::uint32_t i = 0; i < dataLength; ++i)
        record->AddByte(static_cast<std::uint8_t>(i % 251));
    return record;
}

TXLSBlobPtr Filled(std::uint32_t n, std::uint8_t start = 0) {
    auto blob = TXLSBlob::Create(n);
    for (std::uint32_t i = 0; i < n; ++i)
        blob->AddByte(static_cast<std::uint8_t>(start + i));
    return blob;
}

// Accepts at most `room` bytes in all, then reports short writes.
class LimitedStream : public TXLSOutputStream {
public:
    explicit LimitedStream(std::size_t room) : room_(room) {}
    std::size_t Write(const void* data, std::size_t count) override {
        const std::size_t n = std::min(count, room_);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        written.insert(written.end(), bytes, bytes + n);
        room_ -= n;
        ++calls;
        return n;
    }
    Bytes written;
    int calls = 0;

private:
    std::size_t room_;
};

// Data bytes of a split record, reassembled across its pieces.
Bytes Reassembled(const std::vector<Record>& records) {
    Bytes data;
    for (const Record& r : records)
        data.insert(data.end(), r.data.begin(), r.data.end());
    return data;
}

} // namespace

TEST(Blob, WritesLittleEndianFieldsAndGrowsToExactSize) {
    TXLSBlob blob(4);
    blob.AddWord(0xFFFE); // -2 as two's complement
    blob.AddByte(0x7F);
    blob.AddDword(0x01020304);
    blob.AddDouble(1.0);
    blob.AddAnsiText("ab");
    blob.AddWideText(u"\u00E9z");
    EXPECT_EQ(blob.Length(), 2u + 1 + 4 + 8 + 2 + 4);
    EXPECT_EQ(blob.Capacity(), blob.Length()); // no spare room after growing
    EXPECT_EQ(BlobBytes(blob),
              Hex("FE FF 7F 04 03 02 01 00 00 00 00 00 00 F0 3F 61 62 E9 00 7A 00"));

    blob.PutWord(0, 0x1234);
    EXPECT_EQ(blob.GetWord(0), 0x1234);
    blob.PutWord(blob.Length() + 2, 0xAAAA); // beyond the end: grows, length unchanged
    EXPECT_EQ(blob.Capacity(), blob.Length() + 4);
    EXPECT_EQ(blob.Length(), 21u);
}

TEST(Blob, AppendFromCopiesARangeOfAnotherBlob) {
    auto source = Filled(10);
    TXLSBlob target(4);
    target.AppendFrom(*source, 3, 4);
    EXPECT_EQ(BlobBytes(target), Hex("03 04 05 06"));
    target.AppendFrom(*source, 8, 5); // clipped at the source's end
    EXPECT_EQ(BlobBytes(target), Hex("03 04 05 06 08 09"));
}

TEST(BlobList, ChunksOf4048AndTotals) {
    TXLSBlobList list;
    list.AppendBlob(TXLSBlob::Create(0));
    EXPECT_EQ(list.Count(), 0); // an empty blob opens no chunk
    LimitedStream empty(100);
    EXPECT_EQ(list.WriteTo(empty), 1);
    EXPECT_EQ(empty.calls, 0);

    list.AppendBlob(Filled(10000));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Item(0)->Length(), 4048u);
    EXPECT_EQ(list.Item(1)->Length(), 4048u);
    EXPECT_EQ(list.Item(2)->Length(), 1904u);
    EXPECT_EQ(list.Total(), 10000);
    EXPECT_EQ(list.Item(3), nullptr);
    EXPECT_EQ(list.Item(-1), nullptr);

    list.AppendBlob(Filled(96, 16));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Item(2)->Length(), 2000u);
    Bytes expected = BlobBytes(*Filled(10000));
    const Bytes tail = BlobBytes(*Filled(96, 16));
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(ListBytes(list), expected);
}

TEST(BlobList, AppendListKeepsTheSourceAndKeepAppendLeavesTheBlob) {
    TXLSBlobList source;
    source.AppendBlob(Filled(5000));
    TXLSBlobList target;
    auto kept = Filled(7, 100);
    target.AppendBlob(*kept);
    EXPECT_EQ(kept->Length(), 7u);
    target.AppendList(source);
    EXPECT_EQ(target.Total(), 5007);
    EXPECT_EQ(source.Total(), 5000);
    EXPECT_EQ(source.Count(), 2);
    EXPECT_EQ(ListBytes(source), BlobBytes(*Filled(5000)));
    Bytes expected = BlobBytes(*kept);
    const Bytes body = BlobBytes(*Filled(5000));
    expected.insert(expected.end(), body.begin(), body.end());
    EXPECT_EQ(ListBytes(target), expected);
}

TEST(BlobList, ShortWriteStopsAtTheFailingChunk) {
    TXLSBlobList list;
    list.AppendBlob(Filled(10000));
    LimitedStream stream(5000);
    EXPECT_EQ(list.WriteTo(stream), -1);
    EXPECT_EQ(stream.calls, 2); // the third chunk is never offered
    EXPECT_EQ(stream.written.size(), 5000u);
    LimitedStream roomy(20000);
    EXPECT_EQ(list.WriteTo(roomy), 1);
    EXPECT_EQ(roomy.calls, 3);
}

TEST(SplitRecord, CutsAtTheLimitWithContinueRecords) {
    struct Case {
        std::uint32_t dataLength;
        std::size_t size;
        std::vector<std::size_t> pieces;
    };
    for (const Case& c : {Case{8225, 8233, {8224, 1}}, Case{16448, 16456, {8224, 8224}},
                          Case{3 * 8224 + 100, 24788, {8224, 8224, 8224, 100}}}) {
        auto split = SplitRecord(MakeRecord(0x00E0, c.dataLength), kMaxRecordData);
        EXPECT_EQ(split->Length(), c.size);
        EXPECT_EQ(split->Capacity(), c.size); // allocated once at its final size
        std::vector<Record> records;
        ASSERT_TRUE(WalkRecords(BlobBytes(*split), records));
        ASSERT_EQ(records.size(), c.pieces.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].type, i == 0 ? 0x00E0 : 0x003C);
            EXPECT_EQ(records[i].data.size(), c.pieces[i]);
        }
        const Bytes whole = BlobBytes(*MakeRecord(0x00E0, c.dataLength));
        EXPECT_EQ(Reassembled(records), Bytes(whole.begin() + 4, whole.end()));
    }
    // The 8229-byte example ends with the CONTINUE header and the last data byte.
    const Bytes example = BlobBytes(*SplitRecord(MakeRecord(0x00E0, 8225), kMaxRecordData));
    EXPECT_EQ(Bytes(example.end() - 5, example.end()), Hex("3C 00 01 00 C0"));
}

TEST(AddRecord, SplitsOnlyAboveTheLimitAndCountsFinalSizes) {
    TXLSBlobList section;
    std::int32_t running = 0;
    EXPECT_EQ(AddRecord(section, nullptr, running), 1);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(AddRecord(section, MakeRecord(0x00E0, 8224), running), 1);
    EXPECT_EQ(running, 8228); // exactly at the limit: unchanged
    EXPECT_EQ(AddRecord(section, MakeRecord(0x00E0, 16448), running), 1);
    EXPECT_EQ(running, 8228 + 16456);
    EXPECT_EQ(section.Total(), running);
    std::vector<Record> records;
    ASSERT_TRUE(WalkRecords(ListBytes(section), records));
    EXPECT_EQ(records.size(), 3u);
}

TEST(BiffWriter, PiecesFollowTheDeclaredTotal) {
    TXLSBlobList small;
    TXLSBiffWriter writer(small, kMaxRecordData);
    writer.BeginRecord(0x00EB, 40);
    writer.WriteData(Filled(40));
    writer.EndRecord();
    EXPECT_EQ(small.Total(), 44);
    EXPECT_EQ(ListBytes(small)[2], 40);

    // Whatever the part boundaries: a record of 8224 and a CONTINUE of 1776.
    for (std::uint32_t first : {8u, 8224u, 9000u}) {
        TXLSBlobList list;
        TXLSBiffWriter w(list, kMaxRecordData);
        w.BeginRecord(0x00EB, 10000);
        w.WriteData(Filled(first));
        w.WriteData(nullptr);
        w.WriteData(Filled(10000 - first, static_cast<std::uint8_t>(first)));
        w.EndRecord();
        std::vector<Record> records;
        ASSERT_TRUE(WalkRecords(ListBytes(list), records));
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].type, 0x00EB);
        EXPECT_EQ(records[0].data.size(), 8224u);
        EXPECT_EQ(records[1].type, 0x003C);
        EXPECT_EQ(records[1].data.size(), 1776u);
        EXPECT_EQ(Reassembled(records), BlobBytes(*Filled(10000)));
    }
}

TEST(BiffWriter, KeepsFramingWhenPartsDoNotAddUpToTheTotal) {
    TXLSBlobList list;
    TXLSBiffWriter writer(list, 100);
    writer.BeginRecord(0x00EB, 150);
    writer.WriteData(Filled(20)); // 130 bytes missing
    writer.BeginRecord(0x00EB, 10);
    writer.WriteData(Filled(30)); // 20 bytes too many
    writer.EndRecord();
    std::vector<Record> records;
    ASSERT_TRUE(WalkRecords(ListBytes(list), records));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].data.size(), 100u);
    EXPECT_EQ(records[1].data.size(), 50u);
    EXPECT_EQ(records[1].data.back(), 0); // missing bytes written as zeros
    EXPECT_EQ(records[2].data, BlobBytes(*Filled(10)));
}
