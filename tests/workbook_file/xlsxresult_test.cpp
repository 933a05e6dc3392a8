// The Office Open XML kind of result, alone and written by kelvora-batch.
#include "engine/worksheetresult.h"
#include "engine/xlsxresult.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvora {
namespace {

namespace fs = std::filesystem;

class XlsxResultTest : public ::testing::Test {
protected:
    std::string dir = test::TempDir();
    void TearDown() override { fs::remove_all(dir); }

    // The names in the folder: no temporary file may stay behind.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

std::string Repeat(const std::string& text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

TEST_F(XlsxResultTest, TextsOfEveryScriptTitleRowFilterAndWidths) {
    const std::string path = dir + "/plan.xlsx";
    // Titles are configuration texts: UTF-8 when valid, else Windows-1252 ("Qt\xE9" is "Qté").
    OpenedSink opened = openSink(path, "xlsx", {"Référence", "Qt\xE9", "", "Notes"});
    ASSERT_TRUE(opened.sink);
    EXPECT_FALSE(opened.sink->failureEndsRun());
    EXPECT_EQ(opened.sink->textForm(), TextForm::Decoded);
    const std::string longText = Repeat("0123456789", 10);
    const test::Table rows = {
        {"DOOR1", "Café crème", "门窗编号二号", "", "😀 smile"},
        {"WIN", " leading & <trailing> ", "2", "", "=1+1", "beyond the titles"},
        {"A\tB\nC", "", "", "", longText},
        // Stored behind escapes: a literal escape, a control character, a non-character.
        {"ESC", "a_x0041_b",
         "c\x01"
         "d",
         "e\uFFFEf"},
    };
    for (const auto& row : rows)
        opened.sink->writeRow(row);
    opened.sink->flush();
    EXPECT_FALSE(fs::exists(path)); // nothing at the target before the close
    ASSERT_TRUE(opened.sink->close(false)) << opened.sink->errorMessage();
    EXPECT_TRUE(opened.sink->warnings().empty());
    EXPECT_EQ(Listing(), std::vector<std::string>{"plan.xlsx"});

    test::Table table = {{"Block Name", "Référence", "Qté", "", "Notes"}};
    table.insert(table.end(), rows.begin(), rows.end());
    // The longest text plus one, the titles' with room for the filter button; wide characters
    // count two; never below the default 8.43, never above 60.
    test::ExpectXlsxReadersAgree(
        path, table, {{"A", 13}, {"B", 23}, {"C", 13}, {"D", 8.43}, {"E", 60}, {"F", 18}});
}

TEST_F(XlsxResultTest, LongTextsAreCutBetweenCharacters) {
    const std::string path = dir + "/long.xlsx";
    OpenedSink opened = openSink(path, "xlsx", {"Text"});
    const std::string emoji = "😀"; // two UTF-16 units
    // 40,000 characters each: the emoji at unit 32,767 does not fit, the one at 32,766 does.
    const std::string straddling = std::string(32766, 'x') + Repeat(emoji, 40000 - 32766);
    const std::string fitting = std::string(32765, 'y') + Repeat(emoji, 40000 - 32765);
    // 32,767 characters whose stored form is longer: cut to what the stored form can hold.
    const std::string escaped = "_x0041_" + std::string(32760, 'z');
    opened.sink->writeRow({"A", straddling});
    opened.sink->writeRow({"B", fitting});
    opened.sink->writeRow({"C", escaped});
    opened.sink->writeRow({"D", std::string(32767, 'w')}); // at the limit: kept whole
    ASSERT_TRUE(opened.sink->close(false)) << opened.sink->errorMessage();
    EXPECT_EQ(opened.sink->warnings(), std::vector<std::string>{textsCutWarning(3)});
    test::ExpectXlsxReadersAgree(path, {{"Block Name", "Text"},
                                        {"A", std::string(32766, 'x')},
                                        {"B", std::string(32765, 'y') + emoji},
                                        {"C", "_x0041_" + std::string(32754, 'z')},
                                        {"D", std::string(32767, 'w')}});
}

// Rows as the worksheet stores them: the number and first cell's text of every row, streamed
// out of the package (the full readers take minutes and gigabytes on a million rows).
const char* const kRowsOfTheSheet = R"py(
import re, sys, zipfile
book = zipfile.ZipFile(sys.argv[1])
count, last, text = 0, None, None
with book.open("xl/worksheets/sheet1.xml") as sheet:
    tail = ""
    while True:
        chunk = sheet.read(1 << 20).decode()
        if not chunk:
            break
        tail += chunk
        rows = re.findall(r'<row r="(\d+)"[^>]*>(.*?)</row>', tail)
        if rows:
            count += len(rows)
            last = rows[-1]
            tail = tail[tail.rfind("</row>") + 6:]
print(count, last[0], re.search(r"<t[^>]*>([^<]*)</t>", last[1]).group(1))
)py";

TEST_F(XlsxResultTest, RowsAndFieldsBeyondTheWorksheetAreReported) {
    const std::string path = dir + "/big.xlsx";
    OpenedSink opened = openSink(path, "xlsx", {});
    for (long long r = 0; r < kXlsxRows + 1; ++r)
        opened.sink->writeRow({std::to_string(r)});
    opened.sink->writeRows({"copies"}, 5);
    ASSERT_TRUE(opened.sink->close(false)) << opened.sink->errorMessage();
    EXPECT_EQ(opened.sink->warnings(), std::vector<std::string>{rowsBeyondLimitWarning(7)});
    test::WriteFile(dir + "/rows.py", kRowsOfTheSheet);
    std::string rows;
    ASSERT_EQ(test::Run(std::string(KELVORA_PYTHON) + " " + dir + "/rows.py " + path, rows), 0)
        << rows;
    EXPECT_EQ(rows, std::to_string(kXlsxRows) + " " + std::to_string(kXlsxRows) + " " +
                        std::to_string(kXlsxRows - 2) + "\n");

    OpenedSink wide = openSink(dir + "/wide.xlsx", "xlsx", {"Ref"});
    Row row;
    // Appended rather than "f" + ...: there GCC 12 at -O3 warns of an overlap (-Wrestrict).
    for (int k = 0; k < 16400; ++k)
        row.push_back(std::string("f").append(std::to_string(k)));
    wide.sink->writeRow(row);
    ASSERT_TRUE(wide.sink->close(false)) << wide.sink->errorMessage();
    EXPECT_EQ(wide.sink->warnings(),
              std::vector<std::string>{std::string(kXlsxFieldsBeyondLimitWarning)});
    row.resize(kXlsxColumns);
    test::ExpectXlsxReadersAgree(dir + "/wide.xlsx", {{"Block Name", "Ref"}, row});
}

TEST_F(XlsxResultTest, AnAbortedResultLeavesTheEarlierFile) {
    const std::string path = dir + "/plan.xlsx";
    test::WriteFile(path, "earlier");
    ::chmod(path.c_str(), 0640);
    OpenedSink aborted = openSink(path, "xlsx", {"Ref"});
    aborted.sink->writeRow({"DOOR1", "D-01"});
    EXPECT_TRUE(aborted.sink->close(true));
    EXPECT_EQ(test::ReadFile(path), test::Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    EXPECT_EQ(Listing(), std::vector<std::string>{"plan.xlsx"});

    // A result dropped without a close leaves nothing either.
    openSink(path, "xlsx", {"Ref"}).sink->writeRow({"DOOR1", "D-01"});
    EXPECT_EQ(Listing(), std::vector<std::string>{"plan.xlsx"});

    // A normal close replaces the earlier file, keeping its permissions.
    OpenedSink done = openSink(path, "xlsx", {"Ref"});
    done.sink->writeRow({"DOOR1", "D-01"});
    ASSERT_TRUE(done.sink->close(false)) << done.sink->errorMessage();
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    test::ExpectXlsxReadersAgree(path, {{"Block Name", "Ref"}, {"DOOR1", "D-01"}});

    // Only exactly "xlsx" makes this workbook.
    OpenedSink upper = openSink(dir + "/plan.XLSX", "XLSX", {"Ref"});
    ASSERT_TRUE(upper.sink->close(false));
    EXPECT_EQ(test::ReadFile(dir + "/plan.XLSX"),
              test::Bytes({'B', 'l', 'o', 'c', 'k', ' ', 'N', 'a', 'm', 'e', ',', 'R', 'e', 'f',
                           '\r', '\n'}));
}

TEST_F(XlsxResultTest, AResultThatCannotBeWrittenFailsWithAMessage) {
    const std::string missing = dir + "/no/such/plan.xlsx";
    OpenedSink opened = openSink(missing, "xlsx", {"Ref"});
    ASSERT_TRUE(opened.sink); // the failure is the workbook's: reported, the run goes on
    opened.sink->writeRow({"DOOR1", "D-01"});
    EXPECT_FALSE(opened.sink->close(false));
    EXPECT_EQ(opened.sink->errorMessage(),
              "Cannot write result file '" + missing + "': No such file or directory");

    // A folder in the way of the result: refused, nothing is left beside it.
    fs::create_directory(dir + "/plan.xlsx");
    OpenedSink blocked = openSink(dir + "/plan.xlsx", "xlsx", {"Ref"});
    blocked.sink->writeRow({"DOOR1", "D-01"});
    EXPECT_FALSE(blocked.sink->close(false));
    EXPECT_EQ(blocked.sink->errorMessage(),
              "Cannot write result file '" + dir + "/plan.xlsx': it is not a regular file");
    EXPECT_EQ(Listing(), std::vector<std::string>{"plan.xlsx"});
}

// Rows that cannot reach the disk (here: past the file size limit) end the drawing.
TEST_F(XlsxResultTest, AFullDiskEndsTheDrawing) {
    const std::string path = dir + "/full.xlsx";
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{256 * 1024, 256 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        OpenedSink opened = openSink(path, "xlsx", {"Ref"});
        int rows = 0;
        for (; rows < 100000 && !opened.sink->failed(); ++rows) {
            opened.sink->writeRow({"DOOR", "D-" + std::to_string(rows)});
            if (rows % 100 == 0)
                opened.sink->flush();
        }
        const bool closed = opened.sink->close(false);
        const bool named = opened.sink->errorMessage().starts_with(
            "Cannot write result file '" + path + "': the rows could not be written");
        _exit(rows < 100000 && !closed && named ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(Listing().empty());
}

TEST_F(XlsxResultTest, KelvoraBatchWritesAWorkbook) {
    fs::create_directories(dir + "/in");
    fs::create_directories(dir + "/out");
    test::WriteFile(dir + "/rules.kvx", "2\r\nRef\r\nQty\r\n1\r\nDOOR*\r\n2\r\n*\r\nAny Space\r\n"
                                        "REF\r\n1\r\nQTY\r\n2\r\n");
    std::string dxf = "0\nSECTION\n2\nENTITIES\n";
    for (const char* ref : {"D-01", "Porte \\U+00E9t\\U+00E9"})
        dxf += std::string("0\nINSERT\n8\n0\n66\n1\n2\nDOOR1\n0\nATTRIB\n8\n0\n1\n") + ref +
               "\n2\nREF\n0\nATTRIB\n8\n0\n1\n2\n2\nQTY\n0\nSEQEND\n";
    dxf += "0\nENDSEC\n0\nEOF\n";
    test::WriteFile(dir + "/in/plan.dxf", dxf);
    std::string output;
    const int status =
        test::Run(std::string("'") + KELVORA_BATCH + "' -q -c '" + dir + "/rules.kvx' -o '" + dir +
                      "/out' -e xlsx --report '" + dir + "/report.txt' '" + dir + "/in/plan.dxf'",
                  output);
    ASSERT_EQ(status, 0) << output;
    const auto report = test::ReadFile(dir + "/report.txt");
    EXPECT_NE(std::string(report.begin(), report.end()).find("  File type : xlsx\r\n"),
              std::string::npos);
    test::ExpectXlsxReadersAgree(
        dir + "/out/plan.xlsx",
        {{"Block Name", "Ref", "Qty"}, {"DOOR1", "D-01", "2"}, {"DOOR1", "Porte été", "2"}});
}

} // namespace
} // namespace kelvora
