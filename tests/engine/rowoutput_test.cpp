#include "engine/rowoutput.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using namespace kelvora;
using namespace kelvora::test;

namespace {

struct Scan {
    std::vector<Row> rows;
    BlockTally tally;
    int processed = 0;
};

Scan scan(const std::string& bytes, const RuleSet& rules, TextForm form = TextForm::Decoded) {
    DxfPairReader reader;
    reader.openMemory(bytes);
    RecordingSink sink;
    sink.form = form;
    Scan result;
    const int highest = highestColumn(rules).value;
    DrawingText text;
    result.processed =
        static_cast<int>(forEachInsert(
                             reader, text,
                             [&](const InsertRecord& insert) {
                                 readInsert(insert, text, rules, highest, sink, result.tally);
                             },
                             [] { return true; })
                             .insertsFound);
    result.rows = sink.rows;
    return result;
}

} // namespace

TEST(ReadInsert, BuildsTheRowOfAnAcceptedInsert) {
    const Scan result =
        scan(drawing(insert("door1", "Doors", {{"REF", "D-01"}, {"QTY", "2"}})), doorRules());
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_EQ(result.rows[0], (Row{"DOOR1", "D-01", "2"}));
    EXPECT_EQ(result.tally, (BlockTally{{"DOOR1", 1}}));
}

TEST(ReadInsert, TrimsCodesAndValuesButKeepsTheValueCase) {
    const std::string bytes = "0\nSECTION\n  2\nENTITIES\n  0\nINSERT\n  8\nDoors  \n 66\n1\n"
                              "  2\n  door1 \n 10\n0.0\n  0\nATTRIB\n  1\n  Left Wing \n"
                              "  2\nREF \n  0\nSEQEND\n";
    const Scan result = scan(bytes, doorRules());
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_EQ(result.rows[0], (Row{"DOOR1", "Left Wing", ""}));
}

TEST(ReadInsert, OnlyTheHeaderBeforeTheBlockNameCounts) {
    RuleSet rules = doorRules();
    rules.blockRules[0].layerPattern = "DOORS";
    // Layer after the block name: tested as an empty layer, rejected.
    const std::string late = drawing(
        {{"0", "INSERT"}, {"2", "DOOR1"}, {"8", "DOORS"}, {"10", "0"}, {"20", "0"}, {"30", "0"}});
    EXPECT_TRUE(scan(late, rules).rows.empty());
    EXPECT_EQ(scan(late, rules).processed, 1);
    rules.blockRules[0].layerPattern = "DOORS,";
    EXPECT_EQ(scan(late, rules).rows.size(), 1u);
}

TEST(ReadInsert, FirstMatchingBlockRuleDecidesAlone) {
    RuleSet rules;
    rules.blockRules.push_back({"DOOR*", "A", "Any Space", {}});
    rules.blockRules.push_back({"*", "*", "Any Space", {}});
    const std::string bytes = drawing(concat({insert("DOOR1", "B"), insert("WALL", "B")}));
    const Scan result = scan(bytes, rules);
    ASSERT_EQ(result.rows.size(), 1u); // DOOR1 is not taken by the second rule
    EXPECT_EQ(result.rows[0], Row{"WALL"});
    EXPECT_EQ(result.processed, 2);
}

TEST(ReadInsert, TestsTheDrawingSpace) {
    const std::string bytes =
        drawing(concat({insert("DOOR1", "0", {}, true), insert("DOOR2", "0", {}, false)}));
    RuleSet rules = doorRules();
    rules.blockRules[0].space = "Model Space";
    EXPECT_EQ(scan(bytes, rules).tally, (BlockTally{{"DOOR2", 1}}));
    rules.blockRules[0].space = "Paper Space";
    EXPECT_EQ(scan(bytes, rules).tally, (BlockTally{{"DOOR1", 1}}));
    rules.blockRules[0].space = "Any Space";
    EXPECT_EQ(scan(bytes, rules).rows.size(), 2u);
    rules.blockRules[0].space = "any space"; // compared exactly
    EXPECT_TRUE(scan(bytes, rules).rows.empty());
}

TEST(ReadInsert, LaterValuesAndLaterAttributeRulesWin) {
    RuleSet rules;
    rules.columns = {"A", "B", "C"};
    rules.blockRules.push_back({"*", "*", "Any Space", {{"POS", "1"}, {"*", "3"}, {"QTY", "2"}}});
    const Scan result =
        scan(drawing(insert("X", "0", {{"POS", "p"}, {"QTY", "first"}, {"QTY", "second"}})), rules);
    ASSERT_EQ(result.rows.size(), 1u);
    // POS: the last matching rule is '*' (column 3); QTY: the later value wins in column 2.
    EXPECT_EQ(result.rows[0], (Row{"X", "", "second", "p"}));
}

TEST(ReadInsert, IgnoredAndOutOfRangeColumnsLeaveTheRow) {
    RuleSet rules;
    rules.blockRules.push_back(
        {"*", "*", "Any Space", {{"A", "-1"}, {"B", "-7"}, {"C", "2"}, {"NAME", "0"}}});
    const Scan result = scan(
        drawing(insert("blk", "0", {{"A", "a"}, {"B", "b"}, {"C", "c"}, {"NAME", "n"}})), rules);
    ASSERT_EQ(result.rows.size(), 1u);
    // Column 0 replaces the block name; the tally keeps the name read.
    EXPECT_EQ(result.rows[0], (Row{"n", "", "c"}));
    EXPECT_EQ(result.tally, (BlockTally{{"BLK", 1}}));
}

TEST(ReadInsert, AValueSeqendIsJustAValue) {
    const Scan result =
        scan(drawing(insert("DOOR1", "0", {{"REF", "D1"}, {"QTY", "SEQEND"}, {"REF", "late"}})),
             doorRules());
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_EQ(result.rows[0], (Row{"DOOR1", "late", "SEQEND"}));
    EXPECT_EQ(result.processed, 1);
}

TEST(ReadInsert, MatchesDecodedTextAndWritesItInTheResultsForm) {
    // Windows-1251: "Болт" as block name, layer, tag and value; rules written in UTF-8.
    const std::string bolt = "\xc1\xee\xeb\xf2";
    const std::string bytes = dxfPairs({{"0", "SECTION"},
                                        {"2", "HEADER"},
                                        {"9", "$ACADVER"},
                                        {"1", "AC1015"},
                                        {"9", "$DWGCODEPAGE"},
                                        {"3", "ANSI_1251"},
                                        {"0", "ENDSEC"}}) +
                              drawing(concat({insert(bolt, bolt, {{bolt, bolt + " %%c12"}}),
                                              {{"0", "INSERT"},
                                               {"66", "1"},
                                               {"2", "MT"},
                                               {"0", "ATTRIB"},
                                               {"2", "NOTE"},
                                               {"101", "Embedded Object"},
                                               {"1", "{\\fArial;a\\Pb}"},
                                               {"0", "SEQEND"}}}));
    RuleSet rules;
    rules.columns = {"Value"};
    rules.blockRules.push_back({"Болт,MT", "Болт,", "Any Space", {{"Болт,NOTE", "1"}}});
    const Scan decoded = scan(bytes, rules);
    ASSERT_EQ(decoded.rows.size(), 2u);
    // ASCII letters only are upper-cased: Cyrillic names keep their case and match as written.
    EXPECT_EQ(decoded.rows[0], (Row{"Болт", "Болт ⌀12"}));
    EXPECT_EQ(decoded.rows[1], (Row{"MT", "a\nb"}));
    EXPECT_TRUE(scan(bytes, rules).tally.contains("Болт"));
    const Scan asRead = scan(bytes, rules, TextForm::AsRead);
    ASSERT_EQ(asRead.rows.size(), 2u);
    EXPECT_EQ(asRead.rows[0], (Row{bolt, bolt + " %%c12"}));
    EXPECT_EQ(asRead.rows[1], (Row{"MT", "a\nb"}));
}

TEST(ReadInsert, TwoInsertsWithoutAttributesAreBothFound) {
    const Scan result =
        scan(drawing(concat({insert("DOOR1", "0"), insert("DOOR2", "0"), insert("DOOR1", "0")})),
             doorRules());
    EXPECT_EQ(result.rows.size(), 3u);
    EXPECT_EQ(result.tally, (BlockTally{{"DOOR1", 2}, {"DOOR2", 1}}));
    EXPECT_EQ(result.rows[0].size(), 3u);
}

TEST(ReadInsert, CutOffDrawingsEndWithoutCrashing) {
    // Ends inside the header: no row. Ends inside the attributes: the row goes out.
    const std::string start = "0\nSECTION\n2\nENTITIES\n0\nINSERT\n";
    EXPECT_TRUE(scan(start + "8\nL\n", doorRules()).rows.empty());
    const Scan cut = scan(start + "66\n1\n2\nDOOR\n0\nATTRIB\n1\nD-9\n2\nREF\n1\n", doorRules());
    ASSERT_EQ(cut.rows.size(), 1u);
    EXPECT_EQ(cut.rows[0], (Row{"DOOR", "D-9", ""}));
}

TEST(TextResult, WritesTitlesAndRowsQuotingOnlyWhereNeeded) {
    TempDir dir;
    const std::string path = dir.file("plan.csv");
    OpenedSink opened = openSink(path, "csv", {"Ref", "Note, \"quoted\"", ""});
    ASSERT_TRUE(opened.sink) << opened.error;
    opened.sink->writeRow({"DOOR1", "Door, left", "1+1", "  spaced  "});
    opened.sink->writeRow({"X"});
    opened.sink->writeRow({"L", "two\nlines", "cr\rhere"});
    EXPECT_TRUE(opened.sink->close(false));
    EXPECT_EQ(readFile(path), "Block Name,Ref,\"Note, \"\"quoted\"\"\",\r\n"
                              "DOOR1,\"Door, left\",1+1,  spaced  \r\n"
                              "X\r\n"
                              "L,\"two\nlines\",\"cr\rhere\"\r\n");
}

TEST(TextResult, GivesValuesThatLookLikeFormulasAnApostropheUnlessRaw) {
    const Row row{"=1+1", "+1",  "@SUM(A1)", "\tx", "\rx",
                  "-3.5", "-12", "-1+2",     "-",   "=HYPERLINK(\"http://x?\"&A1,\"click\")",
                  "a=b",  "-.5"};
    TempDir dir;
    for (const bool raw : {false, true}) {
        const std::string path = dir.file(raw ? "raw.csv" : "safe.csv");
        OpenedSink opened = openTextResult(path, {}, TextForm::AsRead, raw);
        ASSERT_TRUE(opened.sink) << opened.error;
        opened.sink->writeRow(row);
        EXPECT_TRUE(opened.sink->close(false));
        const std::string expected =
            raw ? "=1+1,+1,@SUM(A1),\tx,\"\rx\",-3.5,-12,-1+2,-,"
                  "\"=HYPERLINK(\"\"http://x?\"\"&A1,\"\"click\"\")\",a=b,-.5\r\n"
                : "'=1+1,'+1,'@SUM(A1),'\tx,\"'\rx\",-3.5,-12,'-1+2,'-,"
                  "\"'=HYPERLINK(\"\"http://x?\"\"&A1,\"\"click\"\")\",a=b,'-.5\r\n";
        EXPECT_EQ(readFile(path), "Block Name\r\n" + expected) << (raw ? "raw" : "safe");
    }
}

TEST(TextResult, ReplacesTheEarlierResultOnlyWhenClosed) {
    TempDir dir;
    const std::string path = dir.file("plan.csv");
    writeFile(path, "earlier");
    std::filesystem::permissions(path, std::filesystem::perms(0640));
    OpenedSink opened = openSink(path, "csv", {});
    ASSERT_TRUE(opened.sink) << opened.error;
    opened.sink->writeRow({"A"});
    opened.sink->flush();
    EXPECT_EQ(readFile(path), "earlier");
    // The rows so far lie beside it, under a short name that only the owner can read.
    std::vector<std::filesystem::path> beside;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        beside.push_back(entry.path());
    }
    ASSERT_EQ(beside.size(), 2u);
    const std::filesystem::path temporary = beside[0] == path ? beside[1] : beside[0];
    EXPECT_TRUE(temporary.filename().string().starts_with(".kelvora-"));
    EXPECT_EQ(readFile(temporary.string()), "Block Name\r\nA\r\n");
#ifndef _WIN32 // Windows files have no such permissions
    EXPECT_EQ(std::filesystem::status(temporary).permissions(), std::filesystem::perms(0600));
#endif
    // A stopped run keeps them: they replace the earlier result, with its permissions.
    EXPECT_TRUE(opened.sink->close(true));
    EXPECT_EQ(readFile(path), "Block Name\r\nA\r\n");
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
#endif
    EXPECT_FALSE(std::filesystem::exists(temporary));
}

TEST(TextResult, NeverWritesThroughALinkOrOntoADevice) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links and /dev are POSIX matters";
#endif
    TempDir dir;
    const std::string outside = dir.file("outside.txt");
    writeFile(outside, "keep");
    const std::string link = dir.file("plan.csv");
    std::filesystem::create_symlink(outside, link);
    for (const std::string& path : {link, std::string("/dev/null")}) {
        const OpenedSink opened = openSink(path, "csv", {"Ref"});
        EXPECT_FALSE(opened.sink);
        EXPECT_NE(opened.error.find(path), std::string::npos) << opened.error;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(outside), "keep");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(TextResult, WritesDecodedTextAsUtf8WithAByteOrderMark) {
    TempDir dir;
    const std::string path = dir.file("plan.csv");
    // Titles are configuration texts: Windows-1252 bytes become UTF-8 like valid UTF-8 stays.
    OpenedSink opened = openTextResult(path, {"T\xfcr", "Ma\xc3\x9f"}, TextForm::Decoded);
    ASSERT_TRUE(opened.sink) << opened.error;
    opened.sink->writeRow({"B", "Болт", "x"});
    EXPECT_TRUE(opened.sink->close(false));
    EXPECT_EQ(readFile(path), "\xEF\xBB\xBF"
                              "Block Name,Tür,Maß\r\nB,Болт,x\r\n");
}

TEST(TextResult, ReportsAPathThatCannotBeCreated) {
    TempDir dir;
    const std::string path = dir.file("missing/plan.csv");
    const OpenedSink opened = openSink(path, "csv", {});
    EXPECT_FALSE(opened.sink);
    EXPECT_NE(opened.error.find(path), std::string::npos);
}

#ifndef _WIN32 // no file size limit to set on Windows
// Writes a result on a disk that takes only 4 KiB more: exits with 0 when the failure is told.
[[noreturn]] static void writeOnAFullDisk(const std::string& path) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    OpenedSink opened = openTextResult(path, {"Ref"});
    for (int i = 0; i < 1000 && opened.sink; ++i) {
        opened.sink->writeRow({"A", "a value of a few bytes"});
        opened.sink->flush();
    }
    const bool told = opened.sink && !opened.sink->close(false) &&
                      opened.sink->errorMessage().find(path) != std::string::npos;
    std::exit(told ? 0 : 1);
}

TEST(TextResultDeathTest, AFailedWriteLeavesTheEarlierResultAndNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.file("plan.csv");
    writeFile(path, "earlier");
    EXPECT_EXIT(writeOnAFullDisk(path), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(readFile(path), "earlier");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}
#endif

TEST(PlainDecimalNumber, OnlyPlainDecimalsUpToFifteenDigitsAreNumbers) {
    const std::vector<std::pair<std::string, double>> numbers{
        {"12", 12},
        {"-3.5", -3.5},
        {"0.25", 0.25},
        {"0", 0},
        {"-0", 0},
        {"0.000", 0},
        {"10.50", 10.5},
        {"123456789012345", 123456789012345.0},
        {"0.000000000000000000123456789012345", 1.23456789012345e-19}};
    for (const auto& [text, value] : numbers) {
        const std::optional<double> got = plainDecimalNumber(text);
        ASSERT_TRUE(got) << text;
        EXPECT_EQ(*got, value) << text;
        EXPECT_EQ(std::signbit(*got), value < 0) << text; // "-0" is a plain zero
    }
    for (const char* text : {"007", "00.5", "1e5", "12 mm", "1,5", "1234567890123456", "+1", ".5",
                             "12.", "-", "", " 12", "12 ", "1.2.3", "0x10", "1.0000000000000000"}) {
        EXPECT_FALSE(plainDecimalNumber(text)) << text;
    }
}

// Enough distinct rows to fill the small first blocks and several full ones, each met again
// later (some as array copies), and one row longer than a whole block.
TEST(Quantities, CountEveryDistinctRowAcrossManyBlocks) {
    auto recording = std::make_unique<RecordingSink>();
    RecordingSink& rows = *recording;
    const auto sink = withQuantities(std::move(recording), 2);
    constexpr int kDistinct = 400'000;
    const std::string huge(3 << 20, 'x');
    for (int k = 0; k < kDistinct; ++k) {
        sink->writeRow({"PART", "P-" + std::to_string(k)});
        if (k % 2 == 1) {
            sink->writeRows({"PART", "P-" + std::to_string(k / 2)}, 3);
        }
        if (k == 7) {
            sink->writeRow({"PART", huge});
        }
    }
    sink->writeRow({"PART", huge});
    ASSERT_TRUE(sink->close(false));
    ASSERT_EQ(rows.rows.size(), std::size_t(kDistinct) + 1);
    for (int k = 0, at = 0; k < kDistinct; ++k, ++at) {
        if (k == 8) {
            EXPECT_EQ(rows.rows[at], (Row{"PART", huge, "2"}));
            ++at;
        }
        // Row k was met once by itself and three more times after row k * 2 + 1.
        const int count = k * 2 + 1 < kDistinct ? 4 : 1;
        ASSERT_EQ(rows.rows[at], (Row{"PART", "P-" + std::to_string(k), std::to_string(count)}))
            << k;
    }
}
