#include "workbook/xlshash.h"
#include "workbook/xlslist.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kelvora;

TEST(Hash, HashFunctionMultipliesBy33AndFoldsTheHighBits) {
    EXPECT_EQ(HashKey(u""), 0u);
    // "ab": h = 97 * 33 + 98 = 3299; 3299 + (3299 >> 5) = 3402.
    EXPECT_EQ(HashKey(u"ab"), 3402u);
    EXPECT_EQ(HashKey(u"Arial Narrow Bold"), 0x7A526D4Du); // wraps around 32 bits
}

TEST(Hash, NinthKeyDoublesTheBucketsAndEveryKeyIsFound) {
    THashInteger map;
    for (int i = 0; i < 8; ++i)
        map.Set(u"key" + std::u16string(1, static_cast<char16_t>(u'a' + i)), i + 1);
    EXPECT_EQ(map.BucketCount(), 8);
    map.Set(u"keyi", 9);
    EXPECT_EQ(map.BucketCount(), 16);
    EXPECT_EQ(map.Count(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(map.Get(u"key" + std::u16string(1, static_cast<char16_t>(u'a' + i))), i + 1);
    EXPECT_EQ(map.Get(u"absent"), 0);
    EXPECT_FALSE(map.Contains(u"absent"));

    // Keys come out bucket by bucket, all nine of them.
    const std::vector<std::u16string> keys = map.Keys();
    ASSERT_EQ(keys.size(), 9u);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(), [](const auto& x, const auto& y) {
        return (HashKey(x) & 15) < (HashKey(y) & 15);
    }));
    for (const auto& key : keys)
        EXPECT_TRUE(map.Contains(key));
}

TEST(Hash, CaseMattersAndRemoveFreesTheEntry) {
    THash set;
    set.Insert(u"Arial");
    set.Insert(u"ARIAL");
    set.Insert(u"Arial");
    EXPECT_EQ(set.Count(), 2);
    EXPECT_TRUE(set.Remove(u"Arial"));
    EXPECT_FALSE(set.Remove(u"Arial"));
    EXPECT_FALSE(set.Contains(u"Arial"));
    EXPECT_TRUE(set.Contains(u"ARIAL"));
    set.Insert(u"Courier"); // reuses the freed entry
    EXPECT_EQ(set.Count(), 2);
    EXPECT_TRUE(set.Contains(u"Courier"));
}

namespace {
// Base 0, entries 0 and 1 fixed.
TXLSKeyList TwoFixed() {
    TXLSKeyList list(0, 2, u"DEF");
    list.SetEntry(0, u"F0");
    list.SetEntry(1, u"F1");
    return list;
}
} // namespace

TEST(KeyList, KeyStoredWithIndexZeroReadsAsAbsent) {
    TXLSKeyList list = TwoFixed();
    EXPECT_EQ(list.FindOrReplace(0, u"F1"), 1); // fixed: found, no count
    EXPECT_EQ(list.InUseCount(), 0);
    const std::int32_t dup = list.FindOrReplace(0, u"F0");
    EXPECT_EQ(dup, 2); // appended again
    EXPECT_EQ(list.KeyAt(dup), u"F0");
    EXPECT_EQ(list.ReferenceCount(dup), 1);
    EXPECT_EQ(list.KeyAt(99), u"DEF");
    EXPECT_EQ(list.OutputPosition(99), 0);
}

TEST(KeyList, FindOrReplaceCountsReferences) {
    TXLSKeyList list = TwoFixed();
    const std::int32_t a = list.FindOrReplace(0, u"A");
    EXPECT_EQ(list.FindOrReplace(0, u"A"), a); // same change twice: same index, no entry
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.ReferenceCount(a), 2);
    EXPECT_EQ(list.FindOrReplace(a, u"A"), a); // old already has the key: unchanged
    EXPECT_EQ(list.ReferenceCount(a), 2);

    const std::int32_t b = list.FindOrReplace(a, u"B"); // moves one reference
    EXPECT_EQ(list.ReferenceCount(a), 1);
    EXPECT_EQ(list.ReferenceCount(b), 1);
    EXPECT_EQ(list.InUseCount(), 2);
    EXPECT_EQ(list.FindOrReplace(b, u"A"), a); // existing entry: b released
    EXPECT_EQ(list.ReferenceCount(a), 2);
    EXPECT_EQ(list.ReferenceCount(b), 0);
    EXPECT_EQ(list.InUseCount(), 1);
    EXPECT_EQ(list.FindOrReplace(a, u"F1"), 1); // moving onto a fixed entry
    EXPECT_EQ(list.ReferenceCount(a), 1);
}

TEST(KeyList, CompactLeavesUnusedEntriesOutAndKeepsIndexes) {
    TXLSKeyList list = TwoFixed();
    const std::int32_t a = list.FindOrReplace(0, u"A");
    const std::int32_t b = list.FindOrReplace(0, u"B");
    const std::int32_t c = list.FindOrReplace(0, u"C");
    EXPECT_EQ(list.InUseCount(), 3);
    list.MoveReference(b, 0); // last reference of b moved to a fixed entry
    EXPECT_EQ(list.InUseCount(), 2);
    list.AddReference(b);
    list.Compact();
    EXPECT_EQ(list.OutputCount(), 5);
    EXPECT_EQ(list.OutputPosition(c), 5);

    list.MoveReference(b, 0);
    list.MoveReference(1, 1); // fixed indexes are ignored
    list.MoveReference(-5, a);
    EXPECT_EQ(list.ReferenceCount(a), 2);
    list.Compact();
    EXPECT_EQ(list.InUseCount(), 4);
    EXPECT_EQ(list.OutputPosition(0), 1);
    EXPECT_EQ(list.OutputPosition(a), 3);
    EXPECT_EQ(list.OutputPosition(b), 0);
    EXPECT_EQ(list.OutputPosition(c), 4); // moved up by one
    EXPECT_EQ(list.OutputIndex(3), c);
    EXPECT_EQ(list.KeyAt(b), u"B"); // never deleted
    EXPECT_EQ(list.FindOrReplace(0, u"B"), b);

    list.ResetReferences();
    EXPECT_EQ(list.ReferenceCount(a), 0);
    list.Compact();
    EXPECT_EQ(list.OutputCount(), 2);
}

TEST(StringList, PutAddAndLookup) {
    TXLSStringList list;
    list.Put(5, u"five");
    EXPECT_EQ(list.NextFreeIndex(), 6);
    EXPECT_EQ(list.Get(2), u"");
    EXPECT_EQ(list.Get(6), u"");
    EXPECT_EQ(list.Add(u"six"), 6);
    EXPECT_EQ(list.Add(u"five"), 5);
    list.Put(9, u"five"); // a later Put of the same text wins the lookup
    EXPECT_EQ(list.IndexOf(u"five"), 9);
    EXPECT_EQ(list.IndexOf(u"none"), 0);
    list.Put(-1, u"ignored");
    EXPECT_FALSE(list.Contains(u"ignored"));
    list.Put(6, u"SIX"); // replacing a text removes the old text's lookup
    EXPECT_FALSE(list.Contains(u"six"));
    EXPECT_EQ(list.IndexOf(u"SIX"), 6);
}

namespace {
class Named : public TXLSObjEntry {
public:
    Named(std::u16string key, int value) : TXLSObjEntry(std::move(key)), value(value) {}
    int value;
};
} // namespace

TEST(ObjList, AddWithAPresentKeyReplacesInPlace) {
    TXLSObjList list(0);
    EXPECT_EQ(list.Add(std::make_unique<Named>(u"x", 1)), 0);
    EXPECT_EQ(list.Add(std::make_unique<Named>(u"y", 2)), 1);
    EXPECT_EQ(list.Add(std::make_unique<Named>(u"x", 3)), 0); // first entry's key too
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(static_cast<const Named*>(list.Item(0))->value, 3);
    EXPECT_EQ(list.Item(2), nullptr);
    EXPECT_EQ(list.Add(nullptr), -1);
}
