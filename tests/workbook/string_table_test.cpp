#include "record_walker.h"
#include "xlssst.h"

#include <gtest/gtest.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

// Writes the table at streamOffset and walks the result.
SstContents Written(const TXLSStringTable& table, std::uint32_t streamOffset,
                    std::vector<Record>* records = nullptr) {
    TXLSBlobList list;
    EXPECT_EQ(table.WriteSst(list, static_cast<std::int32_t>(streamOffset)), 1);
    SstContents sst;
    EXPECT_TRUE(WalkSst(ListBytes(list), streamOffset, sst));
    if (records) {
        EXPECT_TRUE(WalkRecords(ListBytes(list), *records));
    }
    return sst;
}

std::u16string Letters(std::size_t n, char16_t first = u'a') {
    std::u16string text;
    for (std::size_t i = 0; i < n; ++i)
        text.push_back(static_cast<char16_t>(first + i % 26));
    return text;
}

} // namespace

TEST(StringTable, ExampleWithTwoTexts) {
    TXLSStringTable table;
    EXPECT_EQ(table.AddString(u"ab"), 1);
    EXPECT_EQ(table.AddString(u"c"), 2);
    EXPECT_EQ(table.AddString(u"ab"), 1);
    const std::uint32_t x = 1292;
    TXLSBlobList list;
    table.WriteSst(list, x);
    EXPECT_EQ(ListBytes(list),
              Hex("FC 00 14 00 03 00 00 00 02 00 00 00 02 00 01 61 00 62 00 01 00 01 63 00 "
                  "FF 00 0A 00 08 00 18 05 00 00 0C 00 00 00"));
    Written(table, x);
}

TEST(StringTable, NoTextsNoRecords) {
    TXLSStringTable table;
    TXLSBlobList list;
    EXPECT_EQ(table.WriteSst(list, 0), 1);
    EXPECT_EQ(list.Total(), 0);
    table.ReleaseString(table.AddString(u"gone"));
    EXPECT_EQ(table.WriteSst(list, 0), 1);
    EXPECT_EQ(list.Total(), 0);
}

TEST(StringTable, ReferenceCountingAndSlotReuse) {
    TXLSStringTable table;
    for (int i = 0; i < 1000; ++i)
        table.AddString(u"same");
    EXPECT_EQ(table.TotalReferences(), 1000u);
    EXPECT_EQ(table.DistinctTexts(), 1u);

    const std::int32_t lower = table.AddString(u"Text");
    const std::int32_t upper = table.AddString(u"TEXT"); // case makes two texts
    const std::int32_t last = table.AddString(u"last");
    table.AssignSstIndexes();
    EXPECT_EQ(table.SstIndexFor(last), 3);

    table.ReleaseString(lower); // the only cell holding it is cleared
    table.ReleaseString(lower); // a second release of a free slot changes nothing
    EXPECT_EQ(table.DistinctTexts(), 3u);
    EXPECT_EQ(table.TotalReferences(), 1002u);
    table.AssignSstIndexes();
    EXPECT_EQ(table.SstIndexFor(lower), -1);
    EXPECT_EQ(table.SstIndexFor(upper), 1);
    EXPECT_EQ(table.SstIndexFor(last), 2);
    EXPECT_EQ(table.StringAt(lower), u"");

    // The next new text takes the freed slot and its position in the SST.
    EXPECT_EQ(table.AddString(u"new"), lower);
    EXPECT_EQ(table.AddString(u"newer"), last + 1);
    table.AssignSstIndexes();
    EXPECT_EQ(table.SstIndexFor(lower), 1);
    const SstContents sst = Written(table, 0);
    EXPECT_EQ(sst.texts,
              (std::vector<std::u16string>{u"same", u"new", u"TEXT", u"last", u"newer"}));
    EXPECT_EQ(sst.total, 1004u);
    EXPECT_EQ(sst.unique, 5u);

    // Releasing the high-water slot lowers it; ids outside the table are ignored.
    table.ReleaseString(last + 1);
    EXPECT_EQ(table.HighWaterSlot(), last);
    table.ReleaseString(0);
    table.ReleaseString(99);
    EXPECT_EQ(table.StringAt(99), u"");
    EXPECT_EQ(table.SstIndexFor(99), -1);
    EXPECT_EQ(table.AddString(u"again"), last + 1);
}

TEST(StringTable, MoveStringReference) {
    TXLSStringTable table;
    const std::int32_t a = table.AddString(u"a");
    const std::int32_t b = table.AddString(u"b");
    table.MoveStringReference(a, b);
    EXPECT_EQ(table.ReferenceCount(a), 0);
    EXPECT_EQ(table.ReferenceCount(b), 2);
    table.MoveStringReference(b, b); // onto itself: the text stays
    EXPECT_EQ(table.ReferenceCount(b), 2);
    EXPECT_EQ(table.StringAt(b), u"b");
    table.MoveStringReference(0, b);
    EXPECT_EQ(table.ReferenceCount(b), 3);
    EXPECT_EQ(table.TotalReferences(), 3u);
    table.MoveStringReference(b, a); // a is free: no reference is taken on it
    EXPECT_EQ(table.ReferenceCount(a), 0);
    EXPECT_EQ(table.TotalReferences(), 2u);
}

TEST(StringTable, LongTextContinuesBetweenCharacters) {
    TXLSStringTable table;
    const std::u16string text = Letters(5000);
    table.AddString(text);
    std::vector<Record> records;
    const SstContents sst = Written(table, 100, &records);
    ASSERT_EQ(sst.texts.size(), 1u);
    EXPECT_EQ(sst.texts[0], text);
    ASSERT_EQ(sst.sstRecords, 2u);
    EXPECT_EQ(records[0].data.size(), 8 + 3 + 2 * 4106u); // 8227 bytes with the header
    EXPECT_EQ(records[1].data.size(), 1 + 2 * 894u);
    EXPECT_EQ(records[1].data[0], 0x01);

    // Longer than two records: every piece starts with the option byte.
    TXLSStringTable huge;
    huge.AddString(Letters(20000));
    huge.AddString(u"after");
    const SstContents many = Written(huge, 0);
    EXPECT_EQ(many.sstRecords, 5u);
    EXPECT_EQ(many.texts[0], Letters(20000));
    EXPECT_EQ(many.texts[1], u"after");
}

TEST(StringTable, SurrogatePairIsNotCutAtARecordEnd) {
    // 4106 code units fit into the SST record; the pair would take units 4106 and 4107.
    std::u16string text = Letters(4105) + u"\U0001F6AA" + Letters(10);
    TXLSStringTable table;
    table.AddString(text);
    std::vector<Record> records;
    const SstContents sst = Written(table, 100, &records);
    ASSERT_EQ(sst.texts.size(), 1u);
    EXPECT_EQ(sst.texts[0], text);
    ASSERT_EQ(records.size(), 3u); // SST, CONTINUE, EXTSST
    EXPECT_EQ(records[0].data.size(), 8 + 3 + 2 * 4105u);
    EXPECT_EQ(records[1].data[0], 0x01);
    EXPECT_EQ(records[1].data[1] | records[1].data[2] << 8, 0xD83D); // the pair starts the piece
}

TEST(StringTable, FreshTextMovesOnWithFourBytesLeftAndSplitsWithFive) {
    // Four bytes left: a text of 4087 characters (12 + 3 + 8174 bytes) and seven texts of
    // one character (35 bytes) fill 8224 bytes, and "XY" is text 8, with an EXTSST entry.
    TXLSStringTable four;
    four.AddString(Letters(4087));
    for (int i = 1; i < 8; ++i)
        four.AddString(std::u16string(1, static_cast<char16_t>(u'0' + i)));
    four.AddString(u"XY");
    std::vector<Record> records;
    SstContents sst = Written(four, 0, &records);
    ASSERT_EQ(sst.sstRecords, 2u);
    EXPECT_EQ(records[0].data.size(), 8224u - 4);
    EXPECT_EQ(records[1].data, Hex("02 00 01 58 00 59 00"));
    EXPECT_EQ(sst.extEntries[1], (Position{8224 + 4, 4}));

    // Five bytes left: cch, the option byte and one character stay; the rest follows 01.
    TXLSStringTable five;
    five.AddString(Letters(4104)); // 12 + 3 + 8208 = 8223 bytes
    five.AddString(u"XY");
    sst = Written(five, 0, &records);
    ASSERT_EQ(sst.sstRecords, 2u);
    EXPECT_EQ(records[0].data.size(), 8224u);
    EXPECT_EQ(Bytes(records[0].data.end() - 5, records[0].data.end()), Hex("02 00 01 58 00"));
    EXPECT_EQ(records[1].data, Hex("01 59 00"));
    EXPECT_EQ(sst.texts[1], u"XY");
}

TEST(StringTable, ExtSstEntriesForEveryEighthText) {
    TXLSStringTable table;
    for (int i = 0; i < 9; ++i)
        table.AddString(Letters(static_cast<std::size_t>(i + 1)));
    const SstContents sst = Written(table, 5000);
    ASSERT_EQ(sst.extEntries.size(), 2u);
    EXPECT_EQ(sst.extEntries[0], (Position{5012, 12}));
    EXPECT_EQ(sst.extEntries[1], sst.starts[8]);
    EXPECT_EQ(sst.extRecords, 1u);
}

TEST(StringTable, ManyTextsContinueSstAndExtSst) {
    // 1028 EXTSST entries need 8230 bytes: the last one goes to a CONTINUE record.
    TXLSStringTable table;
    const int count = 1028 * 8;
    for (int i = 0; i < count; ++i)
        table.AddString(u"t" + Letters(static_cast<std::size_t>(i % 13)) +
                        std::u16string(1, static_cast<char16_t>(0x100 + i)));
    for (int i = 0; i < count; i += 3)
        table.AddString(u"t" + Letters(static_cast<std::size_t>(i % 13)) +
                        std::u16string(1, static_cast<char16_t>(0x100 + i)));
    std::vector<Record> records;
    const SstContents sst = Written(table, 777, &records);
    EXPECT_EQ(sst.unique, static_cast<std::uint32_t>(count));
    EXPECT_EQ(sst.total, static_cast<std::uint32_t>(count + (count + 2) / 3));
    EXPECT_EQ(sst.extEntries.size(), 1028u);
    ASSERT_EQ(sst.extRecords, 2u);
    EXPECT_EQ(records[sst.sstRecords].data.size(), 2u + 8 * 1027);
    EXPECT_EQ(records.back().data.size(), 8u);
    EXPECT_GT(sst.sstRecords, 10u);
}
