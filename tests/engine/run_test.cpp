#include "configuration/configuration.h"
#include "engine/run.h"
#include "engine/textfile.h"
#include "platform/filepaths.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace kelvora;
using namespace kelvora::test;

namespace {

// Asks for a Stop after a number of pumps and records what the run showed.
class StoppingMonitor : public RunMonitor {
public:
    explicit StoppingMonitor(long long stopAfter) : stopAfter_(stopAfter) {}
    void showProgress() override { shown = true; }
    void hideProgress() override { shown = false; }
    void setLabel(const std::string& text) override { labels.push_back(text); }
    void pump() override { stop_ = stop_ || ++pumps >= stopAfter_; }
    bool abortRequested() override { return stop_; }
    void clearAbort() override { stop_ = false; }

    bool shown = false;
    long long pumps = 0;
    std::vector<std::string> labels;

private:
    long long stopAfter_;
    bool stop_ = false;
};

struct RunFolders {
    TempDir source;
    TempDir destination;
    TempDir program;

    RunInputs inputs(std::vector<std::string> files, std::string extension = " csv ") {
        RunInputs run;
        run.extension = std::move(extension);
        run.rules = doorRules();
        run.sourceFolder = source.path();
        run.destinationFolder = destination.path();
        run.files = std::move(files);
        run.reportPath = program.file("KelvoraLog.txt");
        return run;
    }
};

std::vector<std::string> reportFrom(const std::vector<std::string>& lines, std::size_t first) {
    return {lines.begin() + static_cast<long>(first), lines.end()};
}

} // namespace

TEST(ResultPath, KeepsEverythingUpToTheLastDot) {
    EXPECT_EQ(resultPath("/out", "plan.dxf", "xls"), "/out/plan.xls");
    EXPECT_EQ(resultPath("/out/", "plan.rev2.dxf", "csv"), "/out/plan.rev2.csv");
    EXPECT_EQ(resultPath("", "sub/plan", "csv"), "/plan.csv");
    EXPECT_EQ(withSeparator(""), "/");
}

TEST(Extension, IsTrimmedAndChecked) {
    EXPECT_EQ(trimExtension(" \tcsv\r\n"), "csv");
    EXPECT_FALSE(validExtension(""));
    EXPECT_FALSE(validExtension("."));
    EXPECT_FALSE(validExtension("../x"));
    EXPECT_TRUE(validExtension(".."));
    EXPECT_TRUE(validExtension("XLS"));
}

TEST(RunBatch, WritesResultsAndTheReport) {
    RunFolders folders;
    writeFile(folders.source.file("a.dxf"),
              drawing(concat({insert("door2", "0", {{"REF", "D-02"}}),
                              insert("Door1", "0", {{"REF", "D-01"}, {"QTY", "3"}}),
                              insert("WALL", "0"), insert("door2", "0")})));
    writeFile(folders.source.file("empty.dxf"), "");
    StoppingMonitor monitor(1'000'000);
    const RunOutcome outcome =
        runBatch(folders.inputs({"a.dxf", "missing.dxf", "empty.dxf"}), monitor);

    EXPECT_FALSE(outcome.complete); // one drawing could not be opened
    EXPECT_TRUE(outcome.fatalMessage.empty());
    EXPECT_FALSE(monitor.shown);
    EXPECT_EQ(monitor.labels, (std::vector<std::string>{"Processing a.dxf (1 of 3)",
                                                        "Processing missing.dxf (2 of 3)",
                                                        "Processing empty.dxf (3 of 3)"}));
    EXPECT_EQ(readFile(folders.destination.file("a.csv")),
              "Block Name,Ref,Qty\r\nDOOR2,D-02,\r\nDOOR1,D-01,3\r\nDOOR2,,\r\n");
    EXPECT_EQ(readFile(folders.destination.file("empty.csv")), "Block Name,Ref,Qty\r\n");
    EXPECT_FALSE(std::filesystem::exists(folders.destination.file("missing.csv")));

    const std::string src = folders.source.path() + "/";
    const std::vector<std::string> expected{
        "",
        "  Processed Directory : " + src,
        "  Destination Directory : " + folders.destination.path() + "/",
        "  File type : csv",
        "  Also read : dynamic blocks under their own names, the blocks of every layout, every "
        "copy of a block array",
        "",
        "",
        src + "a.dxf",
        "",
        "Number of processed Blocks : 4",
        "Number of Blocks matching criteria : 3",
        "",
        "DOOR1 : 1",
        "DOOR2 : 2",
        "",
        "",
        src + "missing.dxf",
        "",
        "*** Error, file is used by another application ***",
        src + "empty.dxf",
        "",
        "Number of processed Blocks : 0",
        "Number of Blocks matching criteria : 0",
        "",
        "",
        "",
    };
    EXPECT_EQ(reportFrom(outcome.reportLines, 1), expected);
    EXPECT_EQ(outcome.reportLines[0].rfind("Kelvora report created ", 0), 0u);
    EXPECT_EQ(readFile(outcome.reportPath), joinLines(outcome.reportLines));
}

TEST(RunBatch, StopKeepsTheRowsSoFarAndEndsTheRun) {
    RunFolders folders;
    Pairs many;
    for (int i = 0; i < 50; ++i) {
        many = concat({many, insert("DOOR", "0")});
    }
    writeFile(folders.source.file("a.dxf"), drawing(many));
    writeFile(folders.source.file("b.dxf"), drawing(many));
    // Each insert without attributes is 6 pairs; stop during the 11th insert's pairs: that
    // insert is found but dropped.
    StoppingMonitor monitor(2 + 10 * 6 + 2);
    const RunOutcome outcome = runBatch(folders.inputs({"a.dxf", "b.dxf"}), monitor);
    EXPECT_TRUE(outcome.aborted);
    EXPECT_FALSE(outcome.complete);
    ASSERT_EQ(outcome.drawings.size(), 1u);
    EXPECT_EQ(outcome.drawings[0].state.processed, 11);
    EXPECT_EQ(outcome.reportLines.back(), "Process aborted");
    EXPECT_EQ(std::count(outcome.reportLines.begin(), outcome.reportLines.end(),
                         "Number of Blocks matching criteria : 10"),
              1);
    std::string expected = "Block Name,Ref,Qty\r\n";
    for (int i = 0; i < 10; ++i) {
        expected += "DOOR,,\r\n";
    }
    EXPECT_EQ(readFile(folders.destination.file("a.csv")), expected);
    EXPECT_FALSE(std::filesystem::exists(folders.destination.file("b.csv")));
}

TEST(RunBatch, TheTextResultHoldsTheRowsSoFarWhileTheDrawingIsRead) {
    RunFolders folders;
    // One insert, then far more than one read block of other entities.
    Pairs filler;
    for (int i = 0; i < 150000; ++i) {
        filler.push_back({"999", "a comment line of the drawing"});
    }
    writeFile(folders.source.file("a.dxf"),
              drawing(concat({insert("DOOR1", "0", {{"REF", "D-01"}}), filler})));

    // Looks at the file beside the result from the pumps after the first two megabytes.
    class Watcher : public RunMonitor {
    public:
        explicit Watcher(std::string folder) : folder_(std::move(folder)) {}
        void setPosition(long long position) override { position_ = position * 128; }
        void pump() override {
            if (position_ > 2 << 20 && seenMidway.empty()) {
                for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
                    seenMidway += readFile(entry.path().string());
                }
            }
        }
        std::string seenMidway;

    private:
        std::string folder_;
        long long position_ = 0;
    } watcher(folders.destination.path());
    const RunOutcome outcome = runBatch(folders.inputs({"a.dxf"}), watcher);
    ASSERT_TRUE(outcome.complete);
    EXPECT_EQ(watcher.seenMidway, "Block Name,Ref,Qty\r\nDOOR1,D-01,\r\n");
}

TEST(RunBatch, AStopSeenAtTheLastLineLetsTheDrawingEnd) {
    RunFolders folders;
    const std::string bytes = drawing(insert("DOOR", "0"));
    writeFile(folders.source.file("a.dxf"), bytes);
    writeFile(folders.source.file("b.dxf"), bytes);
    // The walk ends at (0, ENDSEC), the drawing's next-to-last pair; the pump before it stops.
    const auto pairs = std::count(bytes.begin(), bytes.end(), '\n') / 2;
    StoppingMonitor monitor(pairs - 1);
    const RunOutcome outcome = runBatch(folders.inputs({"a.dxf", "b.dxf"}), monitor);
    EXPECT_TRUE(outcome.aborted);
    ASSERT_EQ(outcome.drawings.size(), 1u);
    EXPECT_TRUE(outcome.drawings[0].resultWritten);
    EXPECT_EQ(outcome.drawings[0].state.matched, 1);
    EXPECT_EQ(outcome.reportLines.back(), "Process aborted");
}

TEST(RunBatch, SortsTheTallyWithoutRegardToCase) {
    RunFolders folders;
    RunInputs inputs = folders.inputs({"a.dxf"});
    inputs.rules.blockRules[0].blockPattern = "*";
    writeFile(folders.source.file("a.dxf"),
              drawing(concat({insert("doora", "0"), insert("DOOR_A", "0"), insert("door", "0")})));
    StoppingMonitor monitor(1'000'000);
    const RunOutcome outcome = runBatch(inputs, monitor);
    // Folded to lower case "_" (95) comes before "a" (97), though after "A" (65) in bytes.
    const std::vector<std::string> tally(outcome.reportLines.begin() + 13,
                                         outcome.reportLines.begin() + 16);
    EXPECT_EQ(tally, (std::vector<std::string>{"DOOR : 1", "DOOR_A : 1", "DOORA : 1"}));
}

TEST(RunBatch, AResultThatCannotBeWrittenEndsTheRunWithAnError) {
    RunFolders folders;
    writeFile(folders.source.file("a.dxf"), drawing(insert("DOOR", "0")));
    writeFile(folders.source.file("b.dxf"), drawing(insert("DOOR", "0")));
    RunInputs inputs = folders.inputs({"a.dxf", "b.dxf"});
    inputs.destinationFolder = folders.destination.file("gone");
    StoppingMonitor monitor(1'000'000);
    const RunOutcome outcome = runBatch(inputs, monitor);
    EXPECT_FALSE(outcome.complete);
    EXPECT_TRUE(outcome.reportSaved);
    EXPECT_NE(outcome.fatalMessage.find(folders.destination.file("gone/a.csv")), std::string::npos);
    ASSERT_EQ(outcome.drawings.size(), 1u);
    EXPECT_EQ(outcome.reportLines.back(), "*** Error, result file could not be written ***");
}

TEST(RunBatch, AColumnThatIsNotANumberEndsTheRunBeforeTheFirstDrawing) {
    RunFolders folders;
    writeFile(folders.source.file("a.dxf"), drawing(insert("DOOR", "0")));
    RunInputs inputs = folders.inputs({"a.dxf"});
    inputs.rules.blockRules[0].attributes[0].column = "1x";
    StoppingMonitor monitor(1'000'000);
    const RunOutcome outcome = runBatch(inputs, monitor);
    EXPECT_EQ(outcome.fatalMessage, "'1x' is not a valid integer value");
    EXPECT_TRUE(outcome.drawings.empty());
    EXPECT_FALSE(outcome.complete);
    EXPECT_FALSE(std::filesystem::exists(folders.destination.file("a.csv")));
}

TEST(RunBatch, RefusesAnEmptyExtension) {
    RunFolders folders;
    StoppingMonitor monitor(1'000'000);
    const RunOutcome outcome = runBatch(folders.inputs({"a.dxf"}, " . "), monitor);
    EXPECT_EQ(outcome.fatalMessage, "     Enter a valid file extension please.     ");
    EXPECT_FALSE(std::filesystem::exists(folders.program.file("KelvoraLog.txt")));
}

TEST(RunBatch, RefusesTwoDrawingsThatGiveOneResultName) {
    RunFolders folders;
    std::filesystem::create_directories(folders.source.file("a"));
    std::filesystem::create_directories(folders.source.file("b"));
    writeFile(folders.source.file("a/plan.dxf"), drawing(insert("DOOR", "0")));
    writeFile(folders.source.file("b/plan.dxf"), drawing(insert("DOOR", "0")));
    const RunInputs inputs = folders.inputs({"a/plan.dxf", "a/other.dxf", "b/plan.dxf"});
    const std::string clash = resultNameClash(inputs);
    EXPECT_NE(clash.find(folders.source.file("a/plan.dxf")), std::string::npos) << clash;
    EXPECT_NE(clash.find(folders.source.file("b/plan.dxf")), std::string::npos) << clash;
    StoppingMonitor monitor(1'000'000);
    const RunOutcome outcome = runBatch(inputs, monitor);
    EXPECT_EQ(outcome.fatalMessage, clash);
    EXPECT_TRUE(outcome.drawings.empty());
    EXPECT_TRUE(std::filesystem::is_empty(folders.destination.path()));
    EXPECT_EQ(resultNameClash(folders.inputs({"a/plan.dxf", "b/plan.dxf"}, "dxf")).empty(), false);
    EXPECT_EQ(resultNameClash(folders.inputs({"plan.dxf", "plan.rev2.dxf"})), "");
    RunInputs combined = folders.inputs({"a/plan.dxf", "b/plan.dxf"});
    combined.results.combine = "Kelvora";
    EXPECT_EQ(resultNameClash(combined), "") << "one result for all has no clash";
}

TEST(RunBatch, NeverWritesOverItsOwnDrawingsOrThroughALink) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links and /dev are POSIX matters";
#endif
    RunFolders folders;
    const std::string bytes = drawing(insert("DOOR", "0"));
    writeFile(folders.source.file("a.dxf"), bytes);
    writeFile(folders.source.file("b.dxf"), bytes);
    const std::string outside = folders.program.file("outside.txt");
    writeFile(outside, "keep");
    std::filesystem::create_symlink(outside, folders.source.file("b.csv"));
    StoppingMonitor monitor(1'000'000);
    // Results in the drawings' folder: "a.dxf" would be a's own result; b's result is a link.
    RunInputs inputs = folders.inputs({"a.dxf", "b.dxf"}, "dxf");
    inputs.destinationFolder = folders.source.path() + "/./";
    const RunOutcome own = runBatch(inputs, monitor);
    inputs.extension = "csv";
    const RunOutcome linked = runBatch(inputs, monitor);
    EXPECT_EQ(readFile(folders.source.file("a.dxf")), bytes);
    EXPECT_EQ(readFile(outside), "keep");
    EXPECT_TRUE(std::filesystem::is_symlink(folders.source.file("b.csv")));
    EXPECT_EQ(readFile(folders.source.file("a.csv")), "Block Name,Ref,Qty\r\nDOOR,,\r\n");
    for (const RunOutcome* outcome : {&own, &linked}) {
        EXPECT_FALSE(outcome->complete);
        ASSERT_EQ(outcome->drawings.size(), 2u) << "a refused result does not end the run";
        EXPECT_TRUE(outcome->fatalMessage.empty()) << outcome->fatalMessage;
    }
    EXPECT_NE(own.drawings[0].error.find("one of the drawings of this run"), std::string::npos);
    EXPECT_NE(linked.drawings[1].error.find("symbolic link"), std::string::npos);
    EXPECT_NE(std::find(linked.reportLines.begin(), linked.reportLines.end(),
                        "*** Error, result file could not be written ***"),
              linked.reportLines.end());
    // One result for all drawings, named like the link: refused before any drawing is read.
    inputs.results.combine = "b";
    const RunOutcome combined = runBatch(inputs, monitor);
    EXPECT_NE(combined.fatalMessage.find("symbolic link"), std::string::npos)
        << combined.fatalMessage;
    EXPECT_TRUE(combined.drawings.empty());
    EXPECT_EQ(readFile(outside), "keep");
}

TEST(RunBatch, WarnsOfADrawingThatChangesWhileItIsRead) {
    RunFolders folders;
    const std::string path = folders.source.file("a.dxf");
    writeFile(path, drawing(concat({insert("DOOR", "0"), insert("DOOR", "0")})));
    // Someone writes to the drawing while the run reads it.
    class Writer : public StoppingMonitor {
    public:
        explicit Writer(std::string path) : StoppingMonitor(1'000'000), path_(std::move(path)) {}
        void pump() override {
            if (!done_) {
                std::ofstream(path_, std::ios::app) << "999\nmore\n";
                done_ = true;
            }
        }

    private:
        std::string path_;
        bool done_ = false;
    } writer(path);
    const RunOutcome outcome = runBatch(folders.inputs({"a.dxf"}), writer);
    ASSERT_EQ(outcome.drawings.size(), 1u);
    EXPECT_TRUE(outcome.drawings[0].resultWritten);
    EXPECT_FALSE(outcome.complete);
    EXPECT_NE(std::find(outcome.reportLines.begin(), outcome.reportLines.end(),
                        "*** Warning, the drawing changed while it was read ***"),
              outcome.reportLines.end());
    // Read again, unchanged, it passes.
    StoppingMonitor quiet(1'000'000);
    EXPECT_TRUE(runBatch(folders.inputs({"a.dxf"}), quiet).complete);
}

TEST(RunBatch, WritesTheReportToADeviceAndTellsAReportFailureBesidesAResultFailure) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links and /dev are POSIX matters";
#endif
    RunFolders folders;
    writeFile(folders.source.file("a.dxf"), drawing(insert("DOOR", "0")));
    RunInputs inputs = folders.inputs({"a.dxf"});
    inputs.reportPath = "/dev/null";
    StoppingMonitor monitor(1'000'000);
    const RunOutcome toDevice = runBatch(inputs, monitor);
    EXPECT_TRUE(toDevice.complete) << toDevice.reportError;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

    inputs.destinationFolder = folders.destination.file("gone");
    inputs.reportPath = folders.program.file("gone/KelvoraLog.txt");
    const RunOutcome both = runBatch(inputs, monitor);
    EXPECT_NE(both.fatalMessage.find("gone/a.csv"), std::string::npos) << both.fatalMessage;
    EXPECT_NE(both.reportError.find("gone/KelvoraLog.txt"), std::string::npos) << both.reportError;
}

// Folder and file names that no single ANSI code page holds: on Windows every file goes
// through the wide-character calls. A second run replaces the results of the first.
TEST(RunBatch, NamesBeyondAsciiAreReadAndWritten) {
    TempDir dir;
    const std::string folder = dir.file("Zeichnungen ü 図面");
    std::filesystem::create_directory(pathFromUtf8(folder));
    const std::string configuration = folder + "/Türen ü.kvx";
    std::string error;
    ASSERT_TRUE(saveConfiguration(configuration, doorRules(), error)) << error;
    LoadedConfiguration loaded = loadconf(configuration);
    ASSERT_TRUE(loaded.rules) << loaded.error;
    for (const std::string ref : {"D-01", "D-02"}) {
        writeFile(folder + "/Tür 図.dxf", drawing(insert("DOOR1", "0", {{"REF", ref}})));
        for (const char* extension : {"csv", "xls"}) {
            RunInputs run;
            run.extension = extension;
            run.rules = *loaded.rules;
            run.sourceFolder = folder;
            run.destinationFolder = folder;
            run.files = {"Tür 図.dxf"};
            run.reportPath = folder + "/Bericht ü.txt";
            StoppingMonitor monitor(1000000);
            const RunOutcome outcome = runBatch(run, monitor);
            EXPECT_TRUE(outcome.complete) << extension << ": " << outcome.fatalMessage;
        }
        EXPECT_EQ(readFile(folder + "/Tür 図.csv"), "Block Name,Ref,Qty\r\nDOOR1," + ref + ",\r\n");
        const std::string workbook = readFile(folder + "/Tür 図.xls");
        EXPECT_NE(workbook.find(ref), std::string::npos);
        EXPECT_NE(readFile(folder + "/Bericht ü.txt").find("Tür 図.dxf"), std::string::npos);
    }
    // Nothing is left beside the results but the report.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(pathFromUtf8(folder)),
                            std::filesystem::directory_iterator()),
              5);
}
