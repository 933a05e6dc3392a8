// A batch run: every selected drawing of a folder into one result each, with a run report.
#pragma once

#include "engine/combinedresult.h"
#include "engine/rowoutput.h"
#include "engine/rules.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kelvora {

// What a run shows while it works and how it learns of a Stop. The window implements it with
// its progress window; the batch command with a line on standard error.
class RunMonitor {
public:
    virtual ~RunMonitor() = default;
    virtual void showProgress() {}
    virtual void hideProgress() {}
    virtual void setLabel(const std::string& /*text*/) {}
    virtual void setRange(long long /*max*/) {}
    // Called before every line read, but only with a changed value.
    virtual void setPosition(long long /*pos*/) {}
    // Called before every line read. A window should let its event loop run here at most
    // every few milliseconds: pumping a real event loop on every line makes a run many times
    // slower than the reading itself. Even reading a clock on every call costs as much as
    // reading the line; looking at it every few hundred calls keeps the run at full speed.
    virtual void pump() {}
    // Tested before every line read.
    virtual bool abortRequested() { return false; }
    // Called at the start of every drawing: a Stop only counts for the drawing it was given in.
    virtual void clearAbort() {}
};

struct RunInputs {
    std::string extension; // as typed; the run trims it
    RuleSet rules;
    std::string sourceFolder;      // a "/" is appended unless it ends in one
    std::string destinationFolder; // likewise
    // Drawing names in run order, relative to the source folder (an absolute path stays as is).
    std::vector<std::string> files;
    std::string reportPath;
    // How text results take the drawings' texts; workbooks are always decoded.
    TextForm textForm = TextForm::AsRead;
    ReadingChoices reading;
    ResultChoices results;
};

// Counters of one drawing, reset for every drawing.
struct RunState {
    long long processed = 0; // inserts read, each copy of an array counted
    long long matched = 0;   // accepted inserts, rows written
    bool abort = false;
    bool openFailed = false; // the drawing could not be opened or is no DXF drawing
    BlockTally tally;
};

struct DrawingOutcome {
    std::string inputPath;
    std::string resultPath;
    RunState state;
    bool resultOpened = false;       // the result file was created
    bool resultWritten = false;      // and closed without failure
    std::string error;               // why the drawing or its result failed
    std::string_view openFailedLine; // the report line of a drawing that could not be read
    bool failureEndsRun = true;      // a failed result ends the run (see ResultSink)
    bool drawingChanged = false;     // the file changed while it was read
    // Report lines after the tally: the result's warnings, then its failure if any.
    std::vector<std::string> notes;
};

struct RunOutcome {
    std::vector<std::string> reportLines;
    std::string reportPath;
    bool reportSaved = false;
    std::vector<DrawingOutcome> drawings;
    bool aborted = false;
    // Every drawing was processed and every result written (and the report saved).
    bool complete = false;
    // Set when the run ended early or could not start: what the user must be told.
    std::string fatalMessage;
    // Why the report could not be saved; told besides any fatalMessage.
    std::string reportError;
};

inline constexpr std::string_view kOpenFailedLine =
    "*** Error, file is used by another application ***";
inline constexpr std::string_view kNotDxfLine = "*** Error, not a DXF drawing ***";
inline constexpr std::string_view kDwgLine = "*** Error, DWG drawing: save it as DXF first ***";
inline constexpr std::string_view kResultFailedLine =
    "*** Error, result file could not be written ***";
inline constexpr std::string_view kAbortedLine = "Process aborted";
inline constexpr std::string_view kDrawingChangedLine =
    "*** Warning, the drawing changed while it was read ***";
inline constexpr std::string_view kInvalidExtensionMessage =
    "     Enter a valid file extension please.     ";
inline constexpr std::string_view kNoBlocksMessage = "     Select blocks to process please.     ";

// The report header's line naming what the run reads beyond the inserts of the entities
// section under their names as written; empty when it reads nothing more.
std::string readingLine(const ReadingChoices& reading);
// The report header's line naming how the results are shaped beyond one row per insert; empty
// for plain results.
std::string resultsLine(const ResultChoices& results);

// The extension trimmed of leading and trailing blanks and control characters.
std::string trimExtension(std::string_view typed);
// False for an empty extension or exactly ".".
bool validExtension(std::string_view trimmed);
// Destination folder + the drawing's file name up to and including its last "." + extension.
std::string resultPath(const std::string& destinationFolder, const std::string& drawingName,
                       const std::string& extension);

// A message naming two drawings of the run whose results would have one name, so that one
// would replace the other; empty when every drawing has a result name of its own.
std::string resultNameClash(const RunInputs& inputs);

RunOutcome runBatch(const RunInputs& inputs, RunMonitor& monitor);

// Where a drawing stands in its run: number (from 1) of count.
struct RunPlace {
    std::size_t number = 0;
    std::size_t count = 0; // 0: the drawing is read on its own
};

// What the monitor's label says while a drawing is read: "Processing NAME (3 of 30)", or
// "Processing NAME" for a drawing read on its own.
std::string processingLabel(const std::string& inputPath, RunPlace place);

// One drawing; the report lines of its failures and counters are appended by the caller. With a
// combined result, the drawing (number place.number of the run) is written into it.
DrawingOutcome processFile(const std::string& inputPath, const std::string& resultPath,
                           const std::string& extension, const RuleSet& rules, int highestColumn,
                           RunMonitor& monitor, TextForm textForm = TextForm::AsRead,
                           const ReadingChoices& reading = {}, RunPlace place = {},
                           const ResultChoices& results = {}, CombinedResult* combined = nullptr);

// Appends one drawing's counters, its tally sorted without regard to case, and its notes.
void addFileReport(std::vector<std::string>& report, const RunState& state,
                   const std::vector<std::string>& notes);

} // namespace kelvora
