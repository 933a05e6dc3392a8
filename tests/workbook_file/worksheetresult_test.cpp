// The worksheet kind of result, alone and inside a run.
#include "engine/run.h"
#include "engine/worksheetresult.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Record;

class WorksheetResultTest : public ::testing::Test {
protected:
    std::string dir = test::TempDir();
    void TearDown() override { fs::remove_all(dir); }

    // Records of the saved worksheet, and the first one of a type.
    static std::vector<Record> SheetOf(const std::string& path) {
        std::vector<std::string> names;
        Bytes stream;
        EXPECT_TRUE(test::ReadCompoundFile(test::ReadFile(path), names, stream));
        return test::SheetRecords(stream);
    }
    static Record First(const std::vector<Record>& records, std::uint16_t type) {
        auto it = std::find_if(records.begin(), records.end(),
                               [&](const Record& r) { return r.type == type; });
        return it == records.end() ? Record{} : *it;
    }
};

TEST_F(WorksheetResultTest, TitleRowAndRowsLikeTheWorkedExample) {
    const std::string path = dir + "/plan.xls";
    OpenedSink opened = openSink(path, "xls", {"Ref", "Qty"});
    ASSERT_TRUE(opened.sink);
    EXPECT_FALSE(fs::exists(path)); // nothing before the close
    opened.sink->writeRow({"DOOR1", "D-01", "2"});
    opened.sink->writeRow({"WIN", "", "", "=1+1"}); // past the last title, empty fields too
    ASSERT_TRUE(opened.sink->close(false));
    EXPECT_TRUE(opened.sink->warnings().empty());
    const auto records = SheetOf(path);
    const auto names = test::Names(records);
    EXPECT_EQ(std::count(names.begin(), names.end(), "LABELSST"), 8);
    EXPECT_EQ(std::count(names.begin(), names.end(), "ROW"), 1);
    // DIMENSIONS: rows 0..2, columns 0..3; the empty fields are blank cells without records.
    EXPECT_EQ(First(records, 0x0200).data, test::Hex("00 00 00 00 03 00 00 00 00 00 04 00 00 00"));
    test::ExpectReadersAgree(
        path, {{"Block Name", "Ref", "Qty"}, {"DOOR1", "D-01", "2"}, {"WIN", "", "", "=1+1"}},
        false);
}

TEST_F(WorksheetResultTest, RowsAndFieldsBeyondTheWorksheetAreReported) {
    const std::string path = dir + "/big.xls";
    OpenedSink opened = openSink(path, "xls", {"Ref"});
    for (int r = 0; r < 65535 + 3; ++r)
        opened.sink->writeRow({"B", std::to_string(r)});
    Row wide(300, "w");
    opened.sink->writeRow(wide); // the fourth row too many: dropped whole
    ASSERT_TRUE(opened.sink->close(false));
    EXPECT_EQ(opened.sink->warnings(),
              std::vector<std::string>({"*** Warning, 4 rows beyond the worksheet limit were not "
                                        "written ***"}));
    const auto records = SheetOf(path);
    // Rows 0..65535, columns 0..1.
    EXPECT_EQ(First(records, 0x0200).data, test::Hex("00 00 00 00 00 00 01 00 00 00 02 00 00 00"));
    test::Table rows = {{"Block Name", "Ref"}};
    for (int r = 0; r < 65535; ++r)
        rows.push_back({"B", std::to_string(r)});
    test::ExpectReadersAgree(path, rows, false);

    OpenedSink wideSink = openSink(dir + "/wide.xls", "xls", {"Ref"});
    wideSink.sink->writeRow(wide);
    ASSERT_TRUE(wideSink.sink->close(false));
    EXPECT_EQ(wideSink.sink->warnings(),
              std::vector<std::string>({std::string(kFieldsBeyondLimitWarning)}));
    EXPECT_EQ(First(SheetOf(dir + "/wide.xls"), 0x0200).data,
              test::Hex("00 00 00 00 02 00 00 00 00 00 00 01 00 00"));
    test::ExpectReadersAgree(dir + "/wide.xls", {{"Block Name", "Ref"}, Row(256, "w")}, false);
}

TEST_F(WorksheetResultTest, TextsLongerThanACellHoldsAreCutBetweenCharacters) {
    // 40,000 characters ending in emoji; the 32,767th UTF-16 unit is the first half of one.
    std::string head;
    while (head.size() < 6553 * 8)
        head += "abc\xC3\xA9\xE2\x82\xAC"; // 5 characters, each one UTF-16 unit
    head += "x";                           // 32,766 units
    std::string emoji;
    for (int i = 0; i < 40000 - 32766; ++i)
        emoji += "\xF0\x9F\x98\x80";
    // Exactly as long as a cell holds, ending in a surrogate pair: kept whole.
    const std::string full = std::string(32765, 'y') + "\xF0\x9F\x98\x80";

    const std::string path = dir + "/long.xls";
    OpenedSink opened = openWorksheetResult(path, {"Ref", "Note"});
    ASSERT_TRUE(opened.sink);
    opened.sink->writeRow({"LONG", head + emoji, full});
    ASSERT_TRUE(opened.sink->close(false));
    EXPECT_EQ(opened.sink->warnings(),
              std::vector<std::string>(
                  {"*** Warning, 1 texts longer than 32767 characters were cut ***"}));
    test::ExpectReadersAgree(path, {{"Block Name", "Ref", "Note"}, {"LONG", head, full}}, false);
}

TEST_F(WorksheetResultTest, AbortedOrFailedSavesLeaveEarlierFiles) {
    const std::string path = dir + "/plan.xls";
    test::WriteFile(path, "earlier");
    OpenedSink aborted = openSink(path, "xls", {"Ref"});
    aborted.sink->writeRow({"DOOR1", "D-01"});
    EXPECT_TRUE(aborted.sink->close(true));
    EXPECT_EQ(test::ReadFile(path), Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));

    OpenedSink missing = openSink(dir + "/no/such/plan.xls", "xls", {"Ref"});
    EXPECT_FALSE(missing.sink->close(false));
    EXPECT_NE(missing.sink->errorMessage().find(dir + "/no/such/plan.xls"), std::string::npos);
    // Only exactly "xls" makes a worksheet.
    OpenedSink upper = openSink(dir + "/plan.XLS", "XLS", {"Ref"});
    ASSERT_TRUE(upper.sink->close(false));
    EXPECT_EQ(test::ReadFile(dir + "/plan.XLS"), Bytes({'B', 'l', 'o', 'c', 'k', ' ', 'N', 'a', 'm',
                                                        'e', ',', 'R', 'e', 'f', '\r', '\n'}));
}

TEST_F(WorksheetResultTest, RunReportsAResultThatCouldNotBeWritten) {
    fs::create_directories(dir + "/in");
    std::string dxf = "0\nSECTION\n2\nENTITIES\n";
    for (int i = 0; i < 2; ++i)
        dxf += "0\nINSERT\n8\n0\n66\n1\n2\nDOOR\n0\nATTRIB\n8\n0\n1\nD-0" + std::to_string(i) +
               "\n2\nREF\n0\nSEQEND\n";
    dxf += "0\nENDSEC\n0\nEOF\n";
    test::WriteFile(dir + "/in/a.dxf", dxf);
    RunInputs inputs;
    inputs.extension = "xls";
    inputs.rules.columns = {"Ref"};
    inputs.rules.blockRules = {{"DOOR", "*", "Any Space", {{"REF", "1"}}}};
    inputs.sourceFolder = dir + "/in";
    inputs.files = {"a.dxf"};
    inputs.reportPath = dir + "/report.txt";
    RunMonitor monitor;

    inputs.destinationFolder = dir + "/out";
    fs::create_directories(dir + "/out");
    RunOutcome done = runBatch(inputs, monitor);
    ASSERT_EQ(done.drawings.size(), 1u);
    EXPECT_TRUE(done.drawings[0].resultWritten);
    test::ExpectReadersAgree(dir + "/out/a.xls",
                             {{"Block Name", "Ref"}, {"DOOR", "D-00"}, {"DOOR", "D-01"}}, false);

    // A folder in the way of a.xls: that workbook is refused before its drawing is read, the
    // next one is saved, and the run goes on to it.
    fs::copy_file(dir + "/in/a.dxf", dir + "/in/b.dxf");
    inputs.files = {"a.dxf", "b.dxf"};
    fs::remove(dir + "/out/a.xls");
    fs::create_directories(dir + "/out/a.xls");
    RunOutcome failed = runBatch(inputs, monitor);
    ASSERT_EQ(failed.drawings.size(), 2u);
    EXPECT_FALSE(failed.drawings[0].resultWritten);
    EXPECT_TRUE(failed.drawings[1].resultWritten);
    EXPECT_FALSE(failed.complete);
    EXPECT_TRUE(failed.fatalMessage.empty());
    EXPECT_TRUE(fs::is_regular_file(dir + "/out/b.xls"));
    EXPECT_NE(failed.drawings[0].error.find("not a regular file"), std::string::npos);
    const auto& lines = failed.reportLines;
    const auto first = std::find(lines.begin(), lines.end(), dir + "/in/a.dxf");
    const auto error =
        std::find(lines.begin(), lines.end(), "*** Error, result file could not be written ***");
    const auto second = std::find(lines.begin(), lines.end(), dir + "/in/b.dxf");
    ASSERT_NE(first, lines.end());
    ASSERT_NE(error, lines.end());
    ASSERT_NE(second, lines.end());
    EXPECT_LT(first, error);
    EXPECT_LT(error, second);
}

// Combined rows with their Quantity column and number cells, in both workbook kinds, as every
// reader sees them: numbers where the value is a plain decimal, texts elsewhere.
TEST_F(WorksheetResultTest, QuantitiesAndNumbersInBothWorkbookKinds) {
    const std::vector<std::string> values{
        "12", "-3.5", "0.25", "007", "1e5", "12 mm", "1,5", "1234567890123456", "123456789012345"};
    test::Table table{{"Block Name", "Ref", "Val", "", "Quantity"}};
    test::NumberCells numbers;
    for (std::size_t k = 0; k < values.size(); ++k) {
        const int row = static_cast<int>(k) + 1;
        table.push_back({"PART", "R-" + std::to_string(k), values[k], "", std::to_string(k + 2)});
        if (k < 3 || k == 8)
            numbers.emplace_back(row, 2);
        numbers.emplace_back(row, 4);
    }
    for (const std::string kind : {"xls", "xlsx"}) {
        const std::string path = dir + "/bom." + kind;
        // Rows of four fields (highest column 3), one title fewer: Quantity is column 4.
        ResultChoices choices;
        choices.quantities = choices.numbers = true;
        OpenedSink opened = openSink(path, kind, {"Ref", "Val"}, TextForm::AsRead, choices, 3);
        ASSERT_TRUE(opened.sink);
        for (std::size_t k = 0; k < values.size(); ++k) {
            const Row row{"PART", "R-" + std::to_string(k), values[k], ""};
            opened.sink->writeRows(row, static_cast<long long>(k) + 1);
            opened.sink->writeRow(row);
        }
        ASSERT_TRUE(opened.sink->close(false)) << opened.sink->errorMessage();
        if (kind == "xls")
            test::ExpectReadersAgree(path, table, test::HaveLibreOffice(), numbers);
        else
            test::ExpectXlsxReadersAgree(path, table, {}, numbers);
    }
}

// One workbook for a run: the summary first, counting each block per drawing with a total, then
// a worksheet per drawing under its name made valid and unique; every reader opens it.
TEST_F(WorksheetResultTest, OneWorkbookForAllDrawings) {
    const std::string longName = "a drawing name of more than thirty-one [characters]";
    for (const std::string folder : {"/in/a", "/in/b"})
        fs::create_directories(dir + folder);
    auto drawing = [](int doors, int windows) {
        std::string dxf = "0\nSECTION\n2\nENTITIES\n";
        for (int i = 0; i < doors + windows; ++i)
            dxf += std::string("0\nINSERT\n8\n0\n66\n1\n2\n") + (i < doors ? "DOOR" : "WIN") +
                   "\n0\nATTRIB\n8\n0\n1\n12\n2\nREF\n0\nSEQEND\n";
        return dxf + "0\nENDSEC\n0\nEOF\n";
    };
    test::WriteFile(dir + "/in/a/plan.dxf", drawing(2, 1));
    test::WriteFile(dir + "/in/b/plan.dxf", drawing(0, 3));
    test::WriteFile(dir + "/in/a/" + longName + ".dxf", drawing(1, 0));
    RunInputs inputs;
    inputs.rules.columns = {"Ref"};
    inputs.rules.blockRules = {{"DOOR,WIN", "*", "Any Space", {{"REF", "1"}}}};
    inputs.sourceFolder = dir + "/in";
    inputs.destinationFolder = dir;
    inputs.files = {"a/plan.dxf", "b/plan.dxf", "a/" + longName + ".dxf"};
    inputs.reportPath = dir + "/report.txt";
    inputs.results.combine = "All";
    inputs.results.numbers = true;
    const std::vector<std::string> sheets{"Summary", "plan", "plan (2)",
                                          "a drawing name of more than thi"};
    const test::Table summary{{"Block Name", "plan", "plan (2)", sheets[3], "Total"},
                              {"DOOR", "2", "0", "1", "3"},
                              {"WIN", "1", "3", "0", "4"}};
    test::NumberCells numbers;
    for (int row = 1; row <= 2; ++row)
        for (int column = 1; column <= 4; ++column)
            numbers.emplace_back(row, column);
    for (const std::string kind : {"xls", "xlsx"}) {
        inputs.extension = kind;
        RunMonitor monitor;
        const RunOutcome outcome = runBatch(inputs, monitor);
        ASSERT_TRUE(outcome.complete) << outcome.fatalMessage;
        const std::string path = dir + "/All." + kind;
        if (kind == "xls")
            test::ExpectReadersAgree(path, summary, test::HaveLibreOffice(), numbers, sheets);
        else
            test::ExpectXlsxReadersAgree(path, summary, {}, numbers, sheets);
    }
    EXPECT_FALSE(fs::exists(dir + "/plan.xls"));
    EXPECT_EQ(
        sheetNames({"x/Summary.dxf", "SUMMARY.dxf", "a:b*c?.dxf", ".dxf", "Plan.DXF", "plan.dxf"}),
        (std::vector<std::string>{"Summary (2)", "SUMMARY (3)", "a_b_c_", ".dxf", "Plan",
                                  "plan (2)"}));
}

} // namespace
} // namespace kelvora
