#include "configuration/templateimport.h"
#include "engine/dxfwalk.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace kelvora;
using namespace kelvora::test;

namespace {

Pairs allPairs(DxfPairReader& reader) {
    Pairs pairs;
    while (reader.next()) {
        pairs.emplace_back(std::to_string(reader.code()), reader.value());
    }
    return pairs;
}

Pairs pairsOf(const std::string& bytes) {
    DxfPairReader reader;
    reader.openMemory(bytes);
    return allPairs(reader);
}

// The binary form of pairs: two-byte codes (R13 on) or one-byte codes with 255 before codes
// above 254. Values are stored by the code's type, as the text gives them.
std::string binaryDxf(const Pairs& pairs, bool wideCodes) {
    std::string bytes("AutoCAD Binary DXF\r\n\x1a\0", 22);
    auto put = [&](auto number) {
        char raw[sizeof number];
        std::memcpy(raw, &number, sizeof number);
        bytes.append(raw, sizeof number);
    };
    for (const auto& [codeText, value] : pairs) {
        const int code = std::stoi(codeText);
        if (wideCodes) {
            put(static_cast<std::uint16_t>(code));
        } else if (code < 255) {
            bytes += static_cast<char>(code);
        } else {
            bytes += '\xff';
            put(static_cast<std::uint16_t>(code));
        }
        if ((code >= 10 && code <= 59) || (code >= 1010 && code <= 1059)) {
            put(std::stod(value));
        } else if ((code >= 60 && code <= 79) || (code >= 1060 && code <= 1070)) {
            put(static_cast<std::int16_t>(std::stoi(value)));
        } else if ((code >= 90 && code <= 99) || code == 1071) {
            put(static_cast<std::int32_t>(std::stol(value)));
        } else if (code >= 160 && code <= 169) {
            put(static_cast<std::int64_t>(std::stoll(value)));
        } else if (code >= 290 && code <= 299) {
            bytes += static_cast<char>(std::stoi(value));
        } else if (code >= 310 && code <= 319) {
            bytes += static_cast<char>(value.size() / 2);
            for (std::size_t i = 0; i < value.size(); i += 2) {
                bytes += static_cast<char>(std::stoi(value.substr(i, 2), nullptr, 16));
            }
        } else {
            bytes += value;
            bytes += '\0';
        }
    }
    return bytes;
}

struct Walked {
    std::vector<InsertRecord> inserts; // copies: the walk reuses its record
    std::vector<std::vector<DxfAttribute>> attributes;
    WalkOutcome outcome;
    std::string sample; // "Болт" as the drawing's encoding gives it
};

Walked walk(const std::string& bytes, const ReadingChoices& choices = {}) {
    DxfPairReader reader;
    reader.openMemory(bytes);
    DrawingText text;
    Walked walked;
    walked.outcome = forEachInsert(
        reader, text,
        [&](const InsertRecord& insert) {
            walked.inserts.push_back(insert);
            walked.attributes.emplace_back(insert.attributes().begin(), insert.attributes().end());
        },
        [] { return true; }, choices);
    walked.sample = text.decode("\xc1\xee\xeb\xf2");
    return walked;
}

std::vector<std::pair<std::string, std::string>>
tagsAndValues(const std::vector<DxfAttribute>& list) {
    std::vector<std::pair<std::string, std::string>> result;
    for (const DxfAttribute& attribute : list) {
        result.emplace_back(attribute.tag, attribute.value);
    }
    return result;
}

// Each insert as "NAME xCOPIES", with " paper" for paper space.
std::vector<std::string> summary(const Walked& walked) {
    std::vector<std::string> lines;
    for (const InsertRecord& insert : walked.inserts) {
        lines.push_back(insert.blockName + " x" + std::to_string(insert.copies) +
                        (insert.paperSpace ? " paper" : ""));
    }
    return lines;
}

Pairs section(const std::string& name, const Pairs& content) {
    return concat({{{"0", "SECTION"}, {"2", name}}, content, {{"0", "ENDSEC"}}});
}

Pairs block(const std::string& name, const Pairs& entities) {
    return concat({{{"0", "BLOCK"}, {"8", "0"}, {"2", name}, {"70", "0"}, {"3", name}},
                   entities,
                   {{"0", "ENDBLK"}}});
}

// An array insert: the counts follow the insertion point, as CAD programs write them.
Pairs minsert(const std::string& name, const std::string& columns, const std::string& rows) {
    return concat({insert(name, "0"), {{"70", columns}, {"71", rows}}});
}

Pairs blockRecord(const std::string& handle, const std::string& name, const Pairs& xdata = {}) {
    return concat({{{"0", "BLOCK_RECORD"}, {"5", handle}, {"100", "AcDbSymbolTableRecord"}},
                   {{"2", name}, {"70", "0"}},
                   xdata});
}

std::string wholeDrawing(const Pairs& tables, const Pairs& blocks, const Pairs& entities) {
    return dxfPairs(concat({section("TABLES", tables),
                            section("BLOCKS", blocks),
                            section("ENTITIES", entities),
                            {{"0", "EOF"}}}));
}

} // namespace

TEST(DxfPairReader, KeepsTheLineRulesOfTextDrawings) {
    // Codes with blanks around them, values trimmed, CR LF and LF, a stray CR dropped.
    EXPECT_EQ(pairsOf("  0\r\nSECTION \r\n  8\nA\rB\n 66\n     1\n"),
              (Pairs{{"0", "SECTION"}, {"8", "AB"}, {"66", "1"}}));
    // A Ctrl-Z ends the file; a last line without a line feed still counts.
    EXPECT_EQ(pairsOf("1\nX\n1\nY\x1A\n2\nZ\n"), (Pairs{{"1", "X"}, {"1", "Y"}}));
    EXPECT_EQ(pairsOf("2\nLAST"), (Pairs{{"2", "LAST"}}));
    // A byte-order mark before the first pair is no part of it.
    EXPECT_EQ(pairsOf("\xEF\xBB\xBF  0\nSECTION\n"), (Pairs{{"0", "SECTION"}}));
    // A code line that is no integer gives a code that matches nothing.
    EXPECT_EQ(pairsOf("x8\nA\n"), (Pairs{{std::to_string(DxfPairReader::kBadCode), "A"}}));
    // Carriage returns alone end no line: the file is one line, read as a code.
    EXPECT_EQ(pairsOf("0\rSECTION\r2\rENTITIES\r").size(), 1u);
    EXPECT_EQ(pairsOf(""), Pairs{});
}

TEST(DxfPairReader, ReadsValuesOfAnyLengthWhole) {
    TempDir dir;
    // A value three times the buffer, starting near a block border, so that its read needs
    // several refills; the pairs around it must come out unharmed.
    const std::string longValue(3 * 1024 * 1024 + 17, 'v');
    std::string bytes = "1\n" + std::string((1 << 20) - 9, 'p') + "\n  1\n" + longValue + "\r\n";
    bytes += "  2\r\nTAG\r\n";
    writeFile(dir.file("long.dxf"), bytes);
    DxfPairReader reader;
    ASSERT_TRUE(reader.open(dir.file("long.dxf")));
    EXPECT_EQ(reader.form(), DxfForm::Text);
    ASSERT_TRUE(reader.next()); // the filler's value is skipped, never kept
    ASSERT_TRUE(reader.next());
    EXPECT_EQ(reader.code(), 1);
    EXPECT_EQ(reader.value(), longValue);
    ASSERT_TRUE(reader.next());
    EXPECT_EQ(reader.code(), 2);
    EXPECT_EQ(reader.value(), "TAG");
    EXPECT_FALSE(reader.next());
    EXPECT_EQ(reader.position(), reader.size());
}

TEST(DxfPairReader, RefusesMissingFilesAndFolders) {
    TempDir dir;
    DxfPairReader reader;
    EXPECT_FALSE(reader.open(dir.file("missing.dxf")));
    EXPECT_FALSE(reader.errorMessage().empty());
    EXPECT_FALSE(reader.open(dir.path()));
#ifdef _WIN32
    EXPECT_FALSE(reader.open("NUL")); // a device
#else
    EXPECT_FALSE(reader.open("/dev/zero")); // endless bytes
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(reader.open(dir.file("pipe"))); // no writer: opening must not wait
#endif
}

TEST(DxfPairReader, ReadsBinaryDrawingsAsTheirTextTwins) {
    const Pairs pairs{{"0", "SECTION"}, {"2", "ENTITIES"}, {"0", "INSERT"},
                      {"8", "Doors"},   {"66", "1"},       {"2", "door1"},
                      {"10", "1.5"},    {"90", "-70000"},  {"160", "1234567890123"},
                      {"290", "1"},     {"310", "00FF1A"}, {"1071", "7"},
                      {"0", "ATTRIB"},  {"1", " D-01 "},   {"2", "REF"},
                      {"0", "SEQEND"},  {"0", "ENDSEC"},   {"0", "EOF"}};
    Pairs expected = pairs;
    expected[13].second = "D-01"; // values are trimmed in both forms
    for (bool wide : {true, false}) {
        DxfPairReader reader;
        const std::string bytes = binaryDxf(pairs, wide);
        reader.openMemory(bytes);
        EXPECT_EQ(reader.form(), DxfForm::Binary);
        EXPECT_EQ(allPairs(reader), expected) << (wide ? "two-byte codes" : "one-byte codes");
    }
    // The walk finds the same insert in both forms.
    const Walked text = walk(dxfPairs(pairs));
    const Walked binary = walk(binaryDxf(pairs, true));
    ASSERT_EQ(binary.inserts.size(), 1u);
    EXPECT_EQ(binary.inserts[0].blockName, text.inserts[0].blockName);
    EXPECT_EQ(tagsAndValues(binary.attributes[0]), tagsAndValues(text.attributes[0]));
}

TEST(DxfPairReader, TellsDrawingsFromOtherFiles) {
    auto formOf = [](const std::string& bytes) {
        DxfPairReader reader;
        reader.openMemory(bytes);
        return reader.form();
    };
    EXPECT_EQ(formOf(""), DxfForm::Text);
    EXPECT_EQ(formOf("  0\r\nSECTION\r\n"), DxfForm::Text);
    EXPECT_EQ(formOf("AC1015\nonly text\n"), DxfForm::Text);
    EXPECT_EQ(formOf("0\nEOF\n\x1A\x00\x01\x02"), DxfForm::Text); // nothing after Ctrl-Z counts
    EXPECT_EQ(formOf(std::string("AC1032\0\0\0\0\x1f\x03", 12)), DxfForm::Dwg);
    EXPECT_EQ(formOf(std::string("AC1.50\0\0\x01", 9)), DxfForm::Dwg);
    EXPECT_EQ(formOf("\x89PNG\r\n\x1A\n"), DxfForm::Other);
    EXPECT_EQ(formOf(std::string("PK\x03\x04\x14\0", 6)), DxfForm::Other);
    EXPECT_EQ(formOf("%PDF-1.7\n"), DxfForm::Other);
    EXPECT_EQ(formOf(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0", 10)), DxfForm::Other);
}

TEST(ForEachInsert, TakesInsertsOnlyAtTheirEntityPairs) {
    const Walked walked =
        walk(dxfPairs(concat({{{"0", "SECTION"}, {"2", "BLOCKS"}},
                              insert("INBLOCK", "0"), // a block definition's content
                              {{"0", "ENDSEC"}, {"0", "SECTION"}, {"2", "ENTITIES"}},
                              {{"0", "LINE"}, {"8", "INSERT"}},
                              {{"0", "TEXT"}, {"1", "INSERT"}, {"2", "ENTITIES"}},
                              insert("A", "L1"),
                              {{"0", "insert"}},
                              {{"0", "ENDSEC"}},
                              insert("AFTER", "0")})));
    ASSERT_EQ(walked.inserts.size(), 1u);
    EXPECT_EQ(walked.inserts[0].blockName, "A");
    EXPECT_EQ(walked.inserts[0].layer, "L1");
    EXPECT_EQ(walked.outcome.insertsFound, 1);
}

TEST(ForEachInsert, ReadsAttributesUpToTheirSequenceEnd) {
    Pairs pairs = insert("door", "0", {{"REF", "SEQEND"}, {"QTY", "ENTITIES"}, {"NOTE", "INSERT"}});
    // An insert whose attributes end at the next entity, without SEQEND.
    pairs.insert(pairs.end(), {{"0", "INSERT"},
                               {"66", "1"},
                               {"2", "B"},
                               {"0", "ATTRIB"},
                               {"1", "v"},
                               {"2", "T"},
                               {"0", "LINE"},
                               {"1", "not a value"},
                               {"2", "NOTATAG"}});
    // Without group 66 nothing that follows is an attribute of the insert.
    pairs.insert(
        pairs.end(),
        {{"0", "INSERT"}, {"2", "C"}, {"0", "ATTRIB"}, {"1", "x"}, {"2", "X"}, {"0", "SEQEND"}});
    const Walked walked = walk(drawing(pairs));
    ASSERT_EQ(walked.inserts.size(), 3u);
    EXPECT_EQ(tagsAndValues(walked.attributes[0]),
              (std::vector<std::pair<std::string, std::string>>{
                  {"REF", "SEQEND"}, {"QTY", "ENTITIES"}, {"NOTE", "INSERT"}}));
    EXPECT_EQ(tagsAndValues(walked.attributes[1]),
              (std::vector<std::pair<std::string, std::string>>{{"T", "v"}}));
    EXPECT_TRUE(walked.attributes[2].empty());
    EXPECT_FALSE(walked.inserts[2].hasAttributes);
}

TEST(ForEachInsert, CountsOnlyWhatStandsBeforeTheBlockName) {
    const Walked walked = walk(drawing({{"0", "INSERT"},
                                        {"2", "LATE"},
                                        {"8", "AFTER"},
                                        {"67", "1"},
                                        {"0", "INSERT"},
                                        {"8", "X"},
                                        {"8", "Y"},
                                        {"67", "1"},
                                        {"2", "PAPER"},
                                        {"0", "INSERT"},
                                        {"8", "CUT"}}));
    ASSERT_EQ(walked.inserts.size(), 2u); // the last one ends before its name
    EXPECT_EQ(walked.inserts[0].layer, "");
    EXPECT_FALSE(walked.inserts[0].paperSpace);
    EXPECT_EQ(walked.inserts[1].layer, "Y");
    EXPECT_TRUE(walked.inserts[1].paperSpace);
    EXPECT_EQ(walked.outcome.insertsFound, 3);
}

TEST(ForEachInsert, TakesTheTextOfAnEmbeddedMultiLineAttribute) {
    const Walked walked = walk(drawing({{"0", "INSERT"},
                                        {"66", "1"},
                                        {"2", "MY_BLOCK"},
                                        {"0", "ATTRIB"},
                                        {"1", ""},
                                        {"100", "AcDbAttribute"},
                                        {"2", "MULTI"},
                                        {"101", "Embedded Object"},
                                        {"10", "0.0"},
                                        {"3", "first part "},
                                        {"3", "second\\Ppart "},
                                        {"1", "end"},
                                        {"73", "1"},
                                        {"0", "ATTRIB"},
                                        {"1", "single"},
                                        {"2", "PLAIN"},
                                        {"0", "SEQEND"}}));
    ASSERT_EQ(walked.attributes.size(), 1u);
    ASSERT_EQ(walked.attributes[0].size(), 2u);
    EXPECT_EQ(walked.attributes[0][0].tag, "MULTI");
    EXPECT_EQ(walked.attributes[0][0].value, "first part second\\Ppart end");
    EXPECT_TRUE(walked.attributes[0][0].mtext);
    EXPECT_EQ(walked.attributes[0][1].value, "single");
    EXPECT_FALSE(walked.attributes[0][1].mtext);
}

TEST(ForEachInsert, TakesTheEncodingFromTheHeader) {
    const std::string entities = dxfPairs(insert("A", "0"));
    auto header = [](const Pairs& variables) {
        return dxfPairs(
            concat({{{"0", "SECTION"}, {"2", "HEADER"}}, variables, {{"0", "ENDSEC"}}}));
    };
    EXPECT_EQ(
        walk(header(
                 {{"9", "$ACADVER"}, {"1", "AC1015"}, {"9", "$DWGCODEPAGE"}, {"3", "ANSI_1251"}}) +
             drawing({}) + entities)
            .sample,
        "Болт");
    // Windows-1252 when the header names no code page; the code page counts before R2007 only.
    EXPECT_EQ(walk(header({{"9", "$ACADVER"}, {"1", "AC1015"}}) + drawing({})).sample, "Áîëò");
    EXPECT_EQ(
        walk(header(
                 {{"9", "$ACADVER"}, {"1", "AC1021"}, {"9", "$DWGCODEPAGE"}, {"3", "ANSI_1251"}}) +
             drawing({}))
            .sample,
        "Áîëò"); // not UTF-8: each text falls back to Windows-1252
}

TEST(ForEachInsert, StopsWhenAskedBeforeAPair) {
    const std::string bytes = drawing(concat({insert("A", "0"), insert("B", "0")}));
    DxfPairReader reader;
    reader.openMemory(bytes);
    DrawingText text;
    int pairs = 0;
    int inserts = 0;
    const WalkOutcome outcome = forEachInsert(
        reader, text, [&](const InsertRecord&) { ++inserts; }, [&] { return ++pairs <= 5; });
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(pairs, 6);
    EXPECT_EQ(inserts, 0); // the insert being read when the Stop came is dropped
}

TEST(ReadTemplateInsert, GivesTheDecodedNameAndTags) {
    DxfPairReader reader;
    const std::string bytes = drawing(
        concat({insert("T\xfcr", "0", {{"REF", "D1"}, {"%%c", "D2"}}), insert("chair", "0")}));
    reader.openMemory(bytes);
    DrawingText text;
    std::vector<TemplateInsert> found;
    forEachInsert(
        reader, text,
        [&](const InsertRecord& insert) { found.push_back(readTemplateInsert(insert, text)); },
        [] { return true; });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(found[0].hasAttributes);
    EXPECT_EQ(found[0].names, (std::vector<std::string>{"Tür", "REF", "⌀"}));
    EXPECT_FALSE(found[1].hasAttributes);
    EXPECT_EQ(found[1].names, std::vector<std::string>{"chair"});
}

TEST(ForEachInsert, ReadsDynamicBlocksUnderTheNameTheirStateRecordsPointAt) {
    const Pairs tables = concat({
        {{"0", "TABLE"}, {"2", "BLOCK_RECORD"}, {"5", "1"}},
        blockRecord("1F", "Valve"),
        blockRecord("2A", "*U3", {{"1001", "AcDbBlockRepBTag"}, {"1070", "1"}, {"1005", "01f"}}),
        // An older format: the dynamic block's own record is anonymous and names it.
        blockRecord("2B", "*U5", {{"1001", "AcDbDynamicBlockTrueName"}, {"1000", "Pump"}}),
        blockRecord("2C", "*U4", {{"1001", "AcDbBlockRepBTag"}, {"1070", "1"}, {"1005", "2B"}}),
        blockRecord("2D", "*U6", {{"1001", "OtherApp"}, {"1005", "1F"}, {"1000", "Not this"}}),
        {{"0", "ENDTAB"}},
    });
    const std::string bytes =
        wholeDrawing(tables, {},
                     concat({insert("*U3", "0"), insert("*u3", "0"), insert("*U4", "0"),
                             insert("*U6", "0"), insert("VALVE", "0")}));
    EXPECT_EQ(summary(walk(bytes)),
              (std::vector<std::string>{"Valve x1", "Valve x1", "Pump x1", "*U6 x1", "VALVE x1"}));
    EXPECT_EQ(summary(walk(bytes, {.dynamicNames = false})),
              (std::vector<std::string>{"*U3 x1", "*u3 x1", "*U4 x1", "*U6 x1", "VALVE x1"}));
}

TEST(ForEachInsert, ReadsOtherLayoutsAfterTheEntitiesInFileOrder) {
    const std::string bytes = wholeDrawing(
        {},
        concat({block("*Paper_Space1", insert("P1", "0", {{"REF", "1"}}, true)),
                block("*Paper_Space", {}), block("*PAPER_SPACE0", insert("P0", "0")),
                block("PART", insert("INNER", "0")), block("*Model_Space", insert("M", "0"))}),
        concat({insert("E", "0"), insert("A", "0", {}, true)}));
    const Walked all = walk(bytes);
    EXPECT_EQ(summary(all), (std::vector<std::string>{"E x1", "A x1 paper", "P1 x1 paper",
                                                      "P0 x1 paper", "M x1"}));
    ASSERT_EQ(all.attributes[2].size(), 1u);
    EXPECT_EQ(all.attributes[2][0].value, "1");
    EXPECT_EQ(summary(walk(bytes, {.allLayouts = false})),
              (std::vector<std::string>{"E x1", "A x1 paper"}));
}

TEST(ForEachInsert, CountsTheCopiesOfBlockArrays) {
    const std::string bytes = drawing(concat(
        {minsert("GRID", "3", "2"), minsert("ONE", "0", "-4"), minsert("HUGE", "32767", "32767")}));
    const Walked walked = walk(bytes);
    EXPECT_EQ(summary(walked), (std::vector<std::string>{"GRID x6", "ONE x1", "HUGE x1073676289"}));
    EXPECT_EQ(walked.outcome.insertsFound, 6 + 1 + 1073676289);
    EXPECT_EQ(summary(walk(bytes, {.minsertCopies = false})),
              (std::vector<std::string>{"GRID x1", "ONE x1", "HUGE x1"}));
}

// A holds B once, B as an array of 3 and C; B holds D; C holds D and A again (a cycle).
TEST(ForEachInsert, NestedBlocksCountEveryWayAndCutCycles) {
    const Pairs blocks = concat({
        block("A", concat({insert("B", "0"), minsert("b", "3", "1"), insert("C", "LC")})),
        block("B", insert("D", "LD", {{"REF", "d"}})),
        block("C", concat({insert("A", "0"), insert("D", "0")})),
        block("D", {}),
        block("UNUSED", insert("D", "0")),
        block("*Paper_Space0", insert("C", "0")),
    });
    const std::string bytes =
        wholeDrawing({}, blocks, concat({minsert("A", "2", "1"), insert("D", "0")}));
    const Walked nested = walk(bytes, {.nested = true});
    // Each held insert once, with every way to it summed: D in B is met through two B inserts.
    EXPECT_EQ(summary(nested),
              (std::vector<std::string>{"A x2", "B x2", "b x6", "C x2", "D x8", "A x2", "D x2",
                                        "D x1", "C x1 paper", "A x1 paper", "D x1 paper",
                                        "B x1 paper", "b x3 paper", "C x1 paper", "D x4 paper"}));
    EXPECT_EQ(nested.inserts[2].layer, "0");
    EXPECT_EQ(nested.inserts[3].layer, "LC");
    ASSERT_EQ(nested.attributes[4].size(), 1u);
    EXPECT_EQ(nested.attributes[4][0].value, "d");
    EXPECT_EQ(nested.outcome.insertsFound, (2 + 22) + 1 + (1 + 11));
    EXPECT_EQ(summary(walk(bytes)), (std::vector<std::string>{"A x2", "D x1", "C x1 paper"}));
}

TEST(ForEachInsert, HoldsTheCopiesOfDeepArraysAtTheLimit) {
    Pairs blocks;
    for (char level = 'A'; level < 'F'; ++level) {
        blocks = concat({blocks, block(std::string(1, level),
                                       minsert(std::string(1, level + 1), "32767", "32767"))});
    }
    const Walked walked = walk(wholeDrawing({}, blocks, insert("A", "0")), {.nested = true});
    ASSERT_EQ(walked.inserts.size(), 6u);
    EXPECT_EQ(walked.inserts.back().copies, kMostCopies);
    EXPECT_EQ(walked.outcome.insertsFound, kMostCopies);
}
