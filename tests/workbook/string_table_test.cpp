#include "record_walker.h"
#include "workbook/xlssst.h"

#include <gtest/gtest.h>

#include <map>

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

TEST(StringTable, ExampleWithThreeTexts) {
    TXLSStringTable table;
    EXPECT_EQ(table.AddString(u"ab"), 1);
    EXPECT_EQ(table.AddString(u"\u0100"), 2); // UTF-16 from U+0100 on
    EXPECT_EQ(table.AddString(u"ab"), 1);
    EXPECT_EQ(table.AddString(u"\u00FF"), 3); // 8 bits up to U+00FF
    const std::uint32_t x = 1292;
    TXLSBlobList list;
    table.WriteSst(list, x);
    EXPECT_EQ(ListBytes(list), Hex("FC 00 16 00 04 00 00 00 03 00 00 00 "
                                   "02 00 00 61 62 01 00 01 00 01 01 00 00 FF "
                                   "FF 00 0A 00 08 00 18 05 00 00 0C 00 00 00"));
    Written(table, x);
    EXPECT_EQ(table.StringAt(2), u"\u0100");
    EXPECT_EQ(table.StringAt(3), u"\u00FF");
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

TEST(StringTable, ManyTextsReleasedAndAddedAgain) {
    // Enough texts to grow the index many times; every third one in UTF-16.
    constexpr int kCount = 50000;
    const auto text = [](int i) {
        std::u16string t = u"text ";
        for (int n = i; n > 0; n /= 10)
            t.push_back(static_cast<char16_t>(u'0' + n % 10));
        if (i % 3 == 0)
            t.push_back(u'\u0416');
        return t;
    };
    TXLSStringTable table;
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < kCount; ++i)
            ASSERT_EQ(table.AddString(text(i)), i + 1);

    // Six texts in seven go: their slots are free and most of the text bytes are unused.
    for (int i = 0; i < kCount; ++i)
        for (int ref = 0; ref < 2 && i % 7 != 0; ++ref)
            table.ReleaseString(i + 1);
    const std::uint32_t kept = (kCount + 6) / 7;
    EXPECT_EQ(table.DistinctTexts(), kept);
    EXPECT_EQ(table.TotalReferences(), 2 * kept);
    for (int i = 0; i < kCount; i += 7) {
        ASSERT_EQ(table.StringAt(i + 1), text(i));
        ASSERT_EQ(table.AddString(text(i)), i + 1);
    }

    // Added again, the released texts take free slots and are found from then on.
    std::vector<std::u16string> expected(kCount + 1);
    for (int i = 0; i < kCount; ++i) {
        const std::int32_t id = i % 7 == 0 ? i + 1 : table.AddString(text(i));
        ASSERT_GE(id, 1);
        ASSERT_LE(id, kCount);
        ASSERT_TRUE(expected[static_cast<std::size_t>(id)].empty());
        expected[static_cast<std::size_t>(id)] = text(i);
    }
    EXPECT_EQ(table.DistinctTexts(), static_cast<std::uint32_t>(kCount));
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(table.StringAt(table.AddString(text(i))), text(i));
    expected.erase(expected.begin());
    EXPECT_EQ(Written(table, 0).texts, expected);
}

TEST(StringTable, AddsAndReleasesInAnyOrderMatchAModel) {
    // 47 texts in an index of 64 entries: long probe runs, some wrapping around its end.
    constexpr std::uint32_t kTexts = 47;
    TXLSStringTable table;
    std::map<std::u16string, std::pair<std::int32_t, std::int32_t>> model; // id, references
    std::uint32_t state = 1;
    for (int step = 0; step < 200000; ++step) {
        state = state * 1103515245 + 12345;
        const std::u16string text = Letters((state >> 8) % kTexts + 1);
        auto found = model.find(text);
        if (found == model.end() || (state >> 20) % 2 == 0) {
            const std::int32_t id = table.AddString(text);
            if (found != model.end()) {
                ASSERT_EQ(id, found->second.first) << "step " << step;
            }
            auto& [modelId, refs] = model[text];
            modelId = id;
            ++refs;
        } else {
            table.ReleaseString(found->second.first);
            if (--found->second.second == 0)
                model.erase(found);
        }
        ASSERT_EQ(table.DistinctTexts(), model.size());
    }
    for (const auto& [text, entry] : model)
        EXPECT_EQ(table.StringAt(entry.first), text);
}

TEST(StringTable, LongTextContinuesBetweenCharacters) {
    TXLSStringTable table;
    const std::u16string text = Letters(5000, u'\u0430');
    table.AddString(text);
    std::vector<Record> records;
    const SstContents sst = Written(table, 100, &records);
    ASSERT_EQ(sst.texts.size(), 1u);
    EXPECT_EQ(sst.texts[0], text);
    ASSERT_EQ(sst.sstRecords, 2u);
    EXPECT_EQ(records[0].data.size(), 8 + 3 + 2 * 4106u); // 8227 bytes with the header
    EXPECT_EQ(records[1].data.size(), 1 + 2 * 894u);
    EXPECT_EQ(records[1].data[0], 0x01);

    // In 8 bits, twice as many characters fit; each piece has its own option byte 00.
    TXLSStringTable narrow;
    narrow.AddString(Letters(9999) + u"\u00E9");
    Written(narrow, 100, &records);
    ASSERT_EQ(records.size(), 3u); // SST, CONTINUE, EXTSST
    EXPECT_EQ(records[0].data.size(), 8 + 3 + 8213u);
    EXPECT_EQ(records[1].data.size(), 1 + 1787u);
    EXPECT_EQ(Bytes(records[1].data.begin(), records[1].data.begin() + 2), Hex("00 78"));
    EXPECT_EQ(records[1].data.back(), 0xE9);

    // Longer than two records: every piece starts with the option byte.
    TXLSStringTable huge;
    huge.AddString(Letters(20000, u'\u0430'));
    huge.AddString(u"after");
    const SstContents many = Written(huge, 0);
    EXPECT_EQ(many.sstRecords, 5u);
    EXPECT_EQ(many.texts[0], Letters(20000, u'\u0430'));
    EXPECT_EQ(many.texts[1], u"after");
}

TEST(StringTable, TextsAreCutAt32767UnitsBetweenCharacters) {
    TXLSStringTable table;
    const std::u16string limit = Letters(32767);
    const std::int32_t cut = table.AddString(limit + u"tail");
    EXPECT_EQ(table.AddString(limit), cut); // equal after the cut: one text
    EXPECT_EQ(table.AddString(limit + u"other tail"), cut);
    EXPECT_EQ(table.ReferenceCount(cut), 3);
    EXPECT_EQ(table.StringAt(cut), limit);

    // Unit 32,767 starts a pair: the whole pair goes, and what is left is 8-bit.
    const std::u16string pair = u"\U0001F6AA";
    const std::int32_t before = table.AddString(Letters(32766, u'b') + pair);
    EXPECT_EQ(table.AddString(Letters(32766, u'b')), before);
    // A pair ending at unit 32,767 stays.
    const std::int32_t kept = table.AddString(Letters(32765, u'c') + pair + u"d");
    EXPECT_EQ(table.StringAt(kept), Letters(32765, u'c') + pair);

    const SstContents sst = Written(table, 0);
    EXPECT_EQ(sst.texts, (std::vector<std::u16string>{limit, Letters(32766, u'b'),
                                                      Letters(32765, u'c') + pair}));
    EXPECT_EQ(sst.compressed, (std::vector<bool>{true, true, false}));
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

TEST(StringTable, FreshTextStartsWithItsHeaderAndOneCharacter) {
    // A filler and seven texts "1".."7" leave `left` bytes of the SST record; the text after
    // them is text 8, with an EXTSST entry.
    const auto leaving = [](std::uint32_t left, std::u16string_view last,
                            std::vector<Record>& records) {
        TXLSStringTable table;
        table.AddString(Letters(8185 - left)); // 12 + 3 + 8185 - left + 7 * 4 = 8228 - left
        for (int i = 1; i < 8; ++i)
            table.AddString(std::u16string(1, static_cast<char16_t>(u'0' + i)));
        table.AddString(last);
        const SstContents sst = Written(table, 0, &records);
        EXPECT_EQ(sst.texts.back(), last);
        return sst.extEntries.at(1);
    };
    std::vector<Record> records;
    // UTF-16 "XY" moves on with four bytes left and splits with five.
    EXPECT_EQ(leaving(4, u"\u03A7\u03A5", records), (Position{8224 + 4, 4}));
    EXPECT_EQ(records[0].data.size(), 8224u - 4);
    EXPECT_EQ(records[1].data, Hex("02 00 01 A7 03 A5 03"));
    EXPECT_EQ(leaving(5, u"\u03A7\u03A5", records), (Position{8223, 8223}));
    EXPECT_EQ(Bytes(records[0].data.end() - 5, records[0].data.end()), Hex("02 00 01 A7 03"));
    EXPECT_EQ(records[1].data, Hex("01 A5 03"));
    // 8-bit "XY" moves on with three bytes left and splits with four.
    EXPECT_EQ(leaving(3, u"XY", records), (Position{8225 + 4, 4}));
    EXPECT_EQ(records[1].data, Hex("02 00 00 58 59"));
    EXPECT_EQ(leaving(4, u"XY", records), (Position{8224, 8224}));
    EXPECT_EQ(Bytes(records[0].data.end() - 4, records[0].data.end()), Hex("02 00 00 58"));
    EXPECT_EQ(records[1].data, Hex("00 59"));
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
    // Appended rather than u"t" + ...: there GCC 12 at -O3 warns of an overlap (-Wrestrict).
    const auto text = [](int i) {
        return std::u16string(u"t")
            .append(Letters(static_cast<std::size_t>(i % 13)))
            .append(1, static_cast<char16_t>(0x100 + i));
    };
    for (int i = 0; i < count; ++i)
        table.AddString(text(i));
    for (int i = 0; i < count; i += 3)
        table.AddString(text(i));
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
