#include "engine/dxfreader.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

std::vector<std::string> allLines(DxfLineReader& reader) {
    std::vector<std::string> lines;
    while (!reader.atEnd()) {
        lines.emplace_back(reader.readLine());
    }
    return lines;
}

std::vector<std::string> linesOf(const std::string& bytes) {
    DxfLineReader reader;
    reader.openMemory(bytes);
    return allLines(reader);
}

} // namespace

TEST(DxfLineReader, SplitsAtLineFeedsAndDropsCarriageReturns) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(linesOf("A\r\nB\nC"), (Lines{"A", "B", "C"}));
    EXPECT_EQ(linesOf("A\n\nB\n"), (Lines{"A", "", "B"}));
    EXPECT_EQ(linesOf("A\rB\r\n"), (Lines{"AB"}));                   // a stray CR is dropped
    EXPECT_EQ(linesOf("ONE\rTWO\rTHREE\r"), (Lines{"ONETWOTHREE"})); // CR-only: one line
    EXPECT_EQ(linesOf(""), Lines{});
    EXPECT_EQ(linesOf("A\nB\x1A\nC\n"), (Lines{"A", "B"})); // Ctrl-Z ends the file
    EXPECT_EQ(linesOf("\x1A"
                      "A\n"),
              Lines{});
}

TEST(DxfLineReader, YieldsEmptyLinesAfterTheEnd) {
    DxfLineReader reader;
    reader.openMemory("A\n");
    EXPECT_EQ(reader.readLine(), "A");
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(reader.readLine(), "");
    EXPECT_EQ(reader.readPair().code, "");
    EXPECT_TRUE(reader.atEnd());
}

TEST(DxfLineReader, ReadsFilesWithLinesLongerThanItsBuffer) {
    TempDir dir;
    const std::string longLine(3 * 1024 * 1024 + 17, 'x');
    // Every line end falls at a different offset, some right at a block border.
    std::string bytes = "  8 \r\n" + longLine + "\r\n";
    bytes += std::string((1 << 20) - bytes.size() % (1 << 20) - 1, 'y') + "\r\nLAST\r\n";
    bytes += "TAIL\x1A ignored\n";
    writeFile(dir.file("long.dxf"), bytes);

    DxfLineReader reader;
    ASSERT_TRUE(reader.open(dir.file("long.dxf")));
    EXPECT_EQ(reader.size(), static_cast<long long>(bytes.size()));
    const DxfLineReader::Pair pair = reader.readPair();
    EXPECT_EQ(pair.code, "8");
    EXPECT_EQ(pair.value, longLine);
    const std::string filler(reader.readLine());
    EXPECT_EQ(filler.find_first_not_of('y'), std::string::npos);
    EXPECT_EQ(reader.readLine(), "LAST");
    EXPECT_EQ(reader.readLine(), "TAIL");
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(reader.position(), reader.size());
}

TEST(DxfLineReader, KeepsAPairWhoseValueEndsAtABlockBorder) {
    TempDir dir;
    // The value line ends exactly at the end of the first block; asking for the end then
    // fetches the next block, which must not overwrite the value.
    const std::string head = "2\n";
    std::string value((1 << 20) - head.size() - 1, 'v');
    value.replace(0, 6, "SEQEND");
    writeFile(dir.file("border.dxf"), head + value + "\n" + "2\nNEXT\n");
    DxfLineReader reader;
    ASSERT_TRUE(reader.open(dir.file("border.dxf")));
    const DxfLineReader::Pair pair = reader.readPair();
    EXPECT_FALSE(reader.atEnd());
    EXPECT_EQ(pair.code, "2");
    EXPECT_EQ(pair.value.substr(0, 7), "SEQENDv");
    EXPECT_EQ(pair.value.size(), value.size());
}

TEST(DxfLineReader, RefusesMissingFilesAndFolders) {
    TempDir dir;
    DxfLineReader reader;
    EXPECT_FALSE(reader.open(dir.file("missing.dxf")));
    EXPECT_FALSE(reader.errorMessage().empty());
    EXPECT_FALSE(reader.open(dir.path()));
    EXPECT_FALSE(reader.open("/dev/zero")); // endless bytes
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(reader.open(dir.file("pipe"))); // no writer: opening must not wait
}

TEST(ScanForInserts, StartsAtEntitiesAndTakesOnlyExactInsertLines) {
    const std::string bytes = "INSERT\n" // before ENTITIES: skipped
                              "0\nSECTION\n2\nENTITIES\n"
                              "0\nINSERT\n"
                              "0\n INSERT\n"
                              "0\nINSERT \n"
                              "0\ninsert\n"
                              "1\nINSERT\n" // a value that reads "INSERT" counts too
                              "0\nENDSEC\n"
                              "0\nINSERT\n"; // the scan goes on after the section
    DxfLineReader reader;
    reader.openMemory(bytes);
    int inserts = 0;
    EXPECT_TRUE(scanForInserts(reader, [&] { ++inserts; }));
    EXPECT_EQ(inserts, 3);
}

TEST(ScanForInserts, CutsOnlyLinesItDoesNotNeed) {
    // A long line before and after ENTITIES is cut; it must still not count as a match.
    const std::string longLine = "INSERT" + std::string(3 << 20, 'x');
    const std::string bytes = "ENTITIES" + std::string(3 << 20, 'y') + "\r\n" + "ENTITIES\n" +
                              longLine + "\r\n" + "0\r\nINSERT\r\n8\r\n" + longLine + "\n";
    TempDir dir;
    writeFile(dir.file("long.dxf"), bytes);
    DxfLineReader reader;
    ASSERT_TRUE(reader.open(dir.file("long.dxf")));
    int inserts = 0;
    scanForInserts(reader, [&] {
        ++inserts;
        EXPECT_EQ(reader.readPair().value, longLine); // insert readers see whole lines
    });
    EXPECT_EQ(inserts, 1);
}

TEST(ScanForInserts, FindsNothingWithoutAnExactEntitiesLine) {
    for (const char* bytes : {"0\nSECTION\n2\nentities\n0\nINSERT\n", "2\n ENTITIES\n0\nINSERT\n",
                              "", "ENTITIES\rINSERT\r"}) {
        DxfLineReader reader;
        reader.openMemory(bytes);
        int inserts = 0;
        scanForInserts(reader, [&] { ++inserts; });
        EXPECT_EQ(inserts, 0) << bytes;
    }
}

TEST(ScanForInserts, StopsWhenAskedBeforeALine) {
    const std::string bytes = drawing(concat({insert("A", "0"), insert("B", "0")}));
    DxfLineReader reader;
    reader.openMemory(bytes);
    int lines = 0;
    int inserts = 0;
    EXPECT_FALSE(scanForInserts(
        reader, [&] { ++inserts; }, [&] { return ++lines <= 3; }));
    EXPECT_EQ(lines, 4); // stopped before the fourth line, "ENTITIES"
    EXPECT_EQ(inserts, 0);
}

TEST(ReadTemplateInsert, ReadsUpToTheInsertionPointOrTheSeqend) {
    const std::string bytes = drawing(
        concat({insert("Door", "0", {{"REF", "D1"}, {"REF", "D2"}}), insert("chair", "0")}));
    DxfLineReader reader;
    reader.openMemory(bytes);
    std::vector<TemplateInsert> found;
    scanForInserts(reader, [&] {
        if (auto insert = readTemplateInsert(reader)) {
            found.push_back(*insert);
        }
    });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(found[0].hasAttributes);
    EXPECT_EQ(found[0].names, (std::vector<std::string>{"Door", "REF", "REF"}));
    EXPECT_FALSE(found[1].hasAttributes);
    EXPECT_EQ(found[1].names, std::vector<std::string>{"chair"});
}

TEST(ReadTemplateInsert, DropsAnInsertCutOffBeforeItsName) {
    DxfLineReader reader;
    reader.openMemory("8\nLAYER\n10\n0.0\n");
    EXPECT_FALSE(readTemplateInsert(reader).has_value());
}
