// Runs the built kelvora-batch command on drawings written here.
#include "engine/rowoutput.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using namespace kelvora;
using namespace kelvora::test;

namespace {

const char* const kConfiguration =
    "2\r\nRef\r\nQty\r\n1\r\nDOOR*\r\n2\r\n*\r\nAny Space\r\nREF\r\n1\r\nQTY\r\n2\r\n";

struct Result {
    int status = -1;
    std::string errors;
};

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

class BatchCommand : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(dir.file("rules.kvx"), kConfiguration);
        std::filesystem::create_directory(dir.file("out"));
        std::filesystem::create_directory(dir.file("in"));
    }

    Result run(const std::vector<std::string>& args) {
        std::string command = quoted(KELVORA_BATCH);
        for (const std::string& arg : args) {
            command.append(" ").append(quoted(arg));
        }
        command += " >" + quoted(dir.file("stdout.txt")) + " 2>" + quoted(dir.file("stderr.txt"));
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir.file("stderr.txt"))};
    }

    // The usual arguments: the configuration, text results into out/, the report in the folder.
    std::vector<std::string> args(std::initializer_list<std::string> inputs,
                                  const std::string& extension = "csv") {
        std::vector<std::string> all{
            "-q",      "-c",       dir.file("rules.kvx"), "-o", dir.file("out"), "-e",
            extension, "--report", dir.file("report.txt")};
        all.insert(all.end(), inputs.begin(), inputs.end());
        return all;
    }

    std::vector<std::string> reportLines() {
        std::vector<std::string> lines;
        const std::string text = readFile(dir.file("report.txt"));
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        EXPECT_EQ(start, text.size()) << "every report line ends in CR LF";
        return lines;
    }

    TempDir dir;
};

} // namespace

TEST_F(BatchCommand, WritesOneResultPerDrawingAndTheReport) {
    writeFile(dir.file("in/plan.rev2.dxf"),
              drawing(concat({insert("door1", "Doors", {{"REF", "D-01"}, {"QTY", "2"}}),
                              insert("DOOR1", "0", {{"REF", "Door, left"}})})));
    std::vector<std::string> arguments = args({dir.file("in/plan.rev2.dxf")});
    for (const char* flag :
         {"--no-dynamic-names", "--active-layout-only", "--no-minsert-copies", "--nested"}) {
        arguments.insert(arguments.begin(), flag);
    }
    const Result result = run(arguments);
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(readFile(dir.file("out/plan.rev2.csv")),
              "Block Name,Ref,Qty\r\nDOOR1,D-01,2\r\nDOOR1,\"Door, left\",\r\n");
    const std::vector<std::string> report = reportLines();
    ASSERT_EQ(report.size(), 16u);
    EXPECT_EQ(report[2], "  Processed Directory : " + dir.file("in") + "/");
    EXPECT_EQ(report[4], "  File type : csv");
    EXPECT_EQ(report[5], "  Also read : blocks nested in blocks");
    EXPECT_EQ(report[8], dir.file("in/plan.rev2.dxf"));
    EXPECT_EQ(report[10], "Number of processed Blocks : 2");
    EXPECT_EQ(report[11], "Number of Blocks matching criteria : 2");
    EXPECT_EQ(report[13], "DOOR1 : 2");
}

TEST_F(BatchCommand, TakesTheDrawingsOfAFolderInNameOrder) {
    writeFile(dir.file("in/b.DXF"), drawing(insert("DOOR", "0")));
    writeFile(dir.file("in/a.dxf"), drawing({}));
    writeFile(dir.file("in/C.dxf"), drawing({}));
    writeFile(dir.file("in/notes.txt"), "INSERT\n");
    const Result result = run(args({dir.file("in")}, "txt"));
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(readFile(dir.file("out/a.txt")), "Block Name,Ref,Qty\r\n");
    EXPECT_EQ(readFile(dir.file("out/b.txt")), "Block Name,Ref,Qty\r\nDOOR,,\r\n");
    const std::vector<std::string> report = reportLines();
    ASSERT_GT(report.size(), 23u);
    EXPECT_EQ(report[8], dir.file("in/a.dxf"));
    EXPECT_EQ(report[15], dir.file("in/b.DXF"));
    EXPECT_EQ(report[23], dir.file("in/C.dxf")); // name order ignores case
}

TEST_F(BatchCommand, AMissingDrawingIsReportedAndTheRunGoesOn) {
    writeFile(dir.file("in/b.dxf"), drawing(insert("DOOR", "0")));
    const Result result = run(args({dir.file("in/a.dxf"), dir.file("in/b.dxf")}));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.errors.find(dir.file("in/a.dxf")), std::string::npos) << result.errors;
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/b.csv")));
    const std::vector<std::string> report = reportLines();
    ASSERT_GT(report.size(), 11u);
    EXPECT_EQ(report[10], "*** Error, file is used by another application ***");
    EXPECT_EQ(report[11], dir.file("in/b.dxf"));
}

TEST_F(BatchCommand, AMissingDestinationIsNamedAndNothingIsLost) {
    writeFile(dir.file("in/a.dxf"), drawing(insert("DOOR", "0")));
    writeFile(dir.file("report.txt"), "earlier report\r\n");
    std::vector<std::string> arguments = args({dir.file("in/a.dxf")});
    arguments[4] = dir.file("nowhere");
    const Result result = run(arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.errors.find(dir.file("nowhere")), std::string::npos) << result.errors;
    EXPECT_EQ(readFile(dir.file("report.txt")), "earlier report\r\n");
}

TEST_F(BatchCommand, UsageAndConfigurationErrorsExitWithTwo) {
    writeFile(dir.file("in/a.dxf"), drawing(insert("DOOR", "0")));
    const std::string drawingPath = dir.file("in/a.dxf");
    EXPECT_EQ(run({drawingPath}).status, 2);                 // no configuration
    EXPECT_EQ(run({"-c", dir.file("rules.kvx")}).status, 2); // no input
    EXPECT_EQ(run({"--bogus", "-c", dir.file("rules.kvx"), drawingPath}).status, 2);
    EXPECT_EQ(run(args({drawingPath}, " . ")).status, 2);

    writeFile(dir.file("rules.kvx"), "2\r\nRef\r\n");
    const Result truncated = run(args({drawingPath}));
    EXPECT_EQ(truncated.status, 2);
    EXPECT_NE(truncated.errors.find("rules.kvx', line 3"), std::string::npos) << truncated.errors;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/a.csv")));

    // Readable, but a column is no number: the run ends before the first drawing.
    writeFile(dir.file("rules.kvx"), "0\r\n1\r\nDOOR\r\n1\r\n*\r\nAny Space\r\nREF\r\nabc\r\n");
    const Result badColumn = run(args({drawingPath}));
    EXPECT_EQ(badColumn.status, 2);
    EXPECT_NE(badColumn.errors.find("'abc' is not a valid integer value"), std::string::npos);

    // A column beyond every worksheet would make each row as wide: refused the same way.
    for (const char* column : {"16385", "0x7fffffff"}) {
        writeFile(dir.file("rules.kvx"),
                  std::string("0\r\n1\r\nDOOR\r\n1\r\n*\r\nAny Space\r\nREF\r\n") + column +
                      "\r\n");
        const Result wide = run(args({drawingPath}));
        EXPECT_EQ(wide.status, 2);
        EXPECT_NE(wide.errors.find(std::string("'") + column + "' is not a valid column number"),
                  std::string::npos)
            << wide.errors;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/a.csv")));

    // A byte-order mark before the first line, as editors on Windows write it, is no part of it.
    writeFile(dir.file("rules.kvx"), "\xEF\xBB\xBF"
                                     "0\r\n1\r\nDOOR\r\n1\r\n*\r\nAny Space\r\nREF\r\n16384\r\n");
    EXPECT_EQ(run(args({drawingPath})).status, 0);

    // Two drawings that would give one result name: the run is refused before it starts.
    std::filesystem::create_directory(dir.file("in/sub"));
    writeFile(dir.file("in/sub/a.dxf"), drawing(insert("DOOR", "0")));
    std::filesystem::remove(dir.file("out/a.csv"));
    const Result clash = run(args({drawingPath, dir.file("in/sub/a.dxf")}));
    EXPECT_EQ(clash.status, 2);
    EXPECT_NE(clash.errors.find("in/sub/a.dxf' would both give the result"), std::string::npos)
        << clash.errors;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/a.csv")));
}

TEST_F(BatchCommand, StopsOnTerminationAndOutlivesAReaderThatHasGone) {
    std::string many = dxfPairs({{"0", "SECTION"}, {"2", "ENTITIES"}});
    for (int i = 0; i < 3000000; ++i) {
        many += "0\nINSERT\n2\nDOOR\n";
    }
    writeFile(dir.file("in/big.dxf"), many + dxfPairs({{"0", "ENDSEC"}, {"0", "EOF"}}));
    writeFile(dir.file("in/small.dxf"), drawing(insert("DOOR", "0")));
    std::string command = quoted(KELVORA_BATCH);
    for (const std::string& arg : args({dir.file("in/big.dxf"), dir.file("in/small.dxf")})) {
        if (arg != "-q") { // progress lines wanted
            command.append(" ").append(quoted(arg));
        }
    }
    const std::string status = quoted(dir.file("status.txt"));

    // Progress into a pipe whose reader stops after 10 bytes: every drawing is still read.
    std::system(
        ("(" + command + " 2>&1; echo $? >" + status + ") | head -c 10 >/dev/null").c_str());
    EXPECT_EQ(readFile(dir.file("status.txt")), "0\n");
    EXPECT_EQ(readFile(dir.file("out/small.csv")), "Block Name,Ref,Qty\r\nDOOR,,\r\n");

    // SIGTERM during the first drawing: exit 1, the report written and ended as for Ctrl-C.
    std::filesystem::remove(dir.file("out/small.csv"));
    const std::string progress = quoted(dir.file("progress.txt"));
    std::system((command + " 2>" + progress + " & pid=$!; until grep -q big " + progress +
                 " || ! kill -0 $pid; do sleep 0.01; done; kill -TERM $pid; wait $pid; echo $? >" +
                 status)
                    .c_str());
    EXPECT_EQ(readFile(dir.file("status.txt")), "1\n");
    const std::vector<std::string> report = reportLines();
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report.back(), "Process aborted");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/small.csv")));
}

TEST_F(BatchCommand, WritesWorksheetResults) {
    writeFile(dir.file("in/a.dxf"), drawing(insert("DOOR", "0")));
    const Result result = run(args({dir.file("in/a.dxf")}, "xls"));
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_TRUE(std::filesystem::exists(dir.file("out/a.xls")));
    // Only lower-case "xls" means a worksheet.
    EXPECT_EQ(run(args({dir.file("in/a.dxf")}, "XLS")).status, 0);
    EXPECT_EQ(readFile(dir.file("out/a.XLS")), "Block Name,Ref,Qty\r\nDOOR,,\r\n");
}

TEST_F(BatchCommand, AnswersHelpAndVersion) {
    EXPECT_EQ(run({"--help"}).status, 0);
    EXPECT_NE(readFile(dir.file("stdout.txt")).find("Usage: kelvora-batch"), std::string::npos);
    EXPECT_EQ(run({"--version"}).status, 0);
    EXPECT_EQ(readFile(dir.file("stdout.txt")).rfind("kelvora-batch ", 0), 0u);
}
