#include "engine/run.h"

#include "engine/textfile.h"
#include "platform/filepaths.h"
#include "platform/replacingfile.h"
#include "platform/system.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>

namespace kelvora {

namespace {

std::string nowText() {
    const std::tm local = localTime(std::time(nullptr));
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
    return std::string(text, n);
}

int compareIgnoringCase(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// The drawing's path: the name in the source folder, or the name itself when it starts at a
// root ("/plans/a.dxf", on Windows also "C:/plans/a.dxf").
std::string inputPathOf(const std::string& sourceFolder, const std::string& name) {
    return pathFromUtf8(name).has_root_directory() ? name : withSeparator(sourceFolder) + name;
}

// One spelling per file, links and "." and ".." resolved, to tell whether two paths are one.
std::string sameFileKey(const std::string& path) {
    std::error_code failed;
    const std::filesystem::path key = std::filesystem::weakly_canonical(pathFromUtf8(path), failed);
    return failed ? path : utf8FromPath(key);
}

// Why the result must not be written at its path, before anything is: it is one of the run's
// own drawings, a symbolic link, or no regular file. Empty when it may be.
std::string resultRefusal(const std::string& result, const std::set<std::string>& drawings) {
    if (std::string unfit = unfitTarget(result); !unfit.empty()) {
        return unfit;
    }
    return drawings.contains(sameFileKey(result)) ? "it is one of the drawings of this run"
                                                  : std::string();
}

} // namespace

namespace {

// The heading and the names of the choices that are on, or nothing when none is.
std::string choicesLine(std::string_view heading,
                        std::initializer_list<std::pair<bool, std::string_view>> choices) {
    std::string line;
    for (const auto& [on, what] : choices) {
        if (on) {
            line += line.empty() ? std::string(heading) : ", ";
            line += what;
        }
    }
    return line;
}

} // namespace

std::string resultNameClash(const RunInputs& inputs) {
    if (!inputs.results.combine.empty()) {
        return {}; // one result for all
    }
    const std::string extension = trimExtension(inputs.extension);
    std::map<std::string, const std::string*> drawingOf;
    for (const std::string& name : inputs.files) {
        const std::string result = resultPath(inputs.destinationFolder, name, extension);
        const auto [known, added] = drawingOf.try_emplace(sameFileKey(result), &name);
        if (!added) {
            return "The drawings '" + inputPathOf(inputs.sourceFolder, *known->second) + "' and '" +
                   inputPathOf(inputs.sourceFolder, name) + "' would both give the result '" +
                   result + "'";
        }
    }
    return {};
}

std::string readingLine(const ReadingChoices& reading) {
    return choicesLine("  Also read : ",
                       {{reading.dynamicNames, "dynamic blocks under their own names"},
                        {reading.allLayouts, "the blocks of every layout"},
                        {reading.minsertCopies, "every copy of a block array"},
                        {reading.nested, "blocks nested in blocks"}});
}

std::string resultsLine(const ResultChoices& results) {
    const std::string combined = "one result for all drawings, " + results.combine;
    return choicesLine("  Results : ",
                       {{results.quantities, "identical rows combined with a Quantity column"},
                        {results.numbers, "numbers stored as numbers"},
                        {!results.combine.empty(), combined}});
}

std::string trimExtension(std::string_view typed) {
    return std::string(trimBlanks(typed));
}

// A "/" would put the result outside the destination folder.
bool validExtension(std::string_view trimmed) {
    return !trimmed.empty() && trimmed != "." && trimmed.find('/') == std::string_view::npos &&
           trimmed.find('\0') == std::string_view::npos;
}

// 'plan.rev2.dxf' gives 'plan.rev2.' + extension, so revisions keep their own results; a name
// without any "." gets one.
std::string resultPath(const std::string& destinationFolder, const std::string& drawingName,
                       const std::string& extension) {
    const std::string name = fileNameOf(drawingName);
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name + "." : name.substr(0, dot + 1);
    return withSeparator(destinationFolder) + stem + extension;
}

void addFileReport(std::vector<std::string>& report, const RunState& state,
                   const std::vector<std::string>& notes) {
    report.push_back("Number of processed Blocks : " + std::to_string(state.processed));
    report.push_back("Number of Blocks matching criteria : " + std::to_string(state.matched));
    report.emplace_back();
    std::vector<std::string> tally;
    for (const auto& [name, count] : state.tally) {
        tally.push_back(name + " : " + std::to_string(count));
    }
    std::stable_sort(tally.begin(), tally.end(), [](const std::string& a, const std::string& b) {
        return compareIgnoringCase(a, b) < 0;
    });
    report.insert(report.end(), tally.begin(), tally.end());
    report.insert(report.end(), notes.begin(), notes.end());
    report.emplace_back();
    report.emplace_back();
}

std::string processingLabel(const std::string& inputPath, RunPlace place) {
    std::string label = "Processing " + fileNameOf(inputPath);
    if (place.count > 0) {
        label += " (" + std::to_string(place.number) + " of " + std::to_string(place.count) + ")";
    }
    return label;
}

DrawingOutcome processFile(const std::string& inputPath, const std::string& resultPath,
                           const std::string& extension, const RuleSet& rules, int highestColumn,
                           RunMonitor& monitor, TextForm textForm, const ReadingChoices& reading,
                           RunPlace place, const ResultChoices& results, CombinedResult* combined) {
    DrawingOutcome outcome;
    outcome.inputPath = inputPath;
    outcome.resultPath = resultPath;
    RunState& state = outcome.state;
    monitor.clearAbort();
    monitor.setLabel(processingLabel(inputPath, place));

    DxfPairReader reader;
    if (!reader.open(inputPath)) {
        state.openFailed = true;
        outcome.openFailedLine = kOpenFailedLine;
        outcome.error = "Cannot open drawing '" + inputPath + "': " + reader.errorMessage();
        return outcome;
    }
    if (reader.form() == DxfForm::Dwg || reader.form() == DxfForm::Other) {
        // No result: an empty table would pass a drawing that was never read for one without parts.
        const bool dwg = reader.form() == DxfForm::Dwg;
        state.openFailed = true;
        outcome.openFailedLine = dwg ? kDwgLine : kNotDxfLine;
        outcome.error =
            "Cannot read drawing '" + inputPath +
            "': " + (dwg ? "it is a DWG drawing; save it as DXF first" : "it is not a DXF drawing");
        return outcome;
    }
    OpenedSink opened = combined != nullptr ? combined->beginDrawing(place.number - 1)
                                            : openSink(resultPath, extension, rules.columns,
                                                       textForm, results, highestColumn);
    if (!opened.sink) {
        outcome.error = opened.error;
        return outcome;
    }
    outcome.resultOpened = true;
    ResultSink& sink = *opened.sink;

    long long fetched = 0; // the position only moves when the reader fetches a block
    monitor.setRange(reader.size() / 128);
    monitor.setPosition(0);
    bool writeFailed = false;
    // Runs before every pair read: progress, the Stop test, then the user interface's turn.
    auto beforePair = [&] {
        if (reader.position() != fetched) {
            fetched = reader.position();
            monitor.setPosition(fetched / 128);
            sink.flush();
        }
        if (monitor.abortRequested()) {
            state.abort = true;
            return false;
        }
        monitor.pump();
        return !writeFailed; // a result that cannot be written ends the drawing
    };
    // Insert fields cost only the runs whose rules name them; layout names take a reading
    // of their own, as the layouts follow the inserts in the file.
    FieldSource fields;
    fields.drawingName = fileNameOf(inputPath);
    if (usesInsertField(rules, InsertField::Layout)) {
        fields.layoutNames = readLayoutNames(inputPath);
    }
    ReadingChoices choices = reading;
    for (const InsertField property :
         {InsertField::Handle, InsertField::X, InsertField::Y, InsertField::Z,
          InsertField::Rotation, InsertField::XScale, InsertField::YScale, InsertField::ZScale}) {
        choices.insertProperties = choices.insertProperties || usesInsertField(rules, property);
    }
    DrawingText text;
    auto onInsert = [&](const InsertRecord& insert) {
        if (const long long rows =
                readInsert(insert, text, rules, highestColumn, sink, state.tally, fields)) {
            state.matched += rows;
            writeFailed = sink.failed();
        }
    };
    state.processed = forEachInsert(reader, text, onInsert, beforePair, choices).insertsFound;
    // A drawing still being written, or cut while it was read, gave rows that may not be all.
    outcome.drawingChanged = !state.abort && reader.changedWhileRead();
    reader.close();

    outcome.resultWritten = sink.close(state.abort);
    outcome.failureEndsRun = sink.failureEndsRun();
    outcome.notes = sink.warnings();
    if (outcome.drawingChanged) {
        outcome.notes.emplace_back(kDrawingChangedLine);
    }
    if (!outcome.resultWritten) {
        outcome.notes.emplace_back(kResultFailedLine);
        outcome.error = sink.errorMessage();
    }
    return outcome;
}

RunOutcome runBatch(const RunInputs& inputs, RunMonitor& monitor) {
    RunOutcome outcome;
    outcome.reportPath = inputs.reportPath;
    const std::string extension = trimExtension(inputs.extension);
    if (!validExtension(extension)) {
        outcome.fatalMessage = std::string(kInvalidExtensionMessage);
        return outcome;
    }
    std::vector<std::string>& report = outcome.reportLines;
    report.push_back("Kelvora report created " + nowText());
    report.emplace_back();

    const std::string source = withSeparator(inputs.sourceFolder);
    const std::string destination = withSeparator(inputs.destinationFolder);
    const HighestColumn highest = highestColumn(inputs.rules);
    const RuleSet rules = withDecodedPatterns(inputs.rules);
    bool allDone = true;
    if (highest.invalidText) {
        outcome.fatalMessage = "'" + *highest.invalidText + "' is not a valid " +
                               (highest.tooLarge ? "column number" : "integer value");
    } else {
        outcome.fatalMessage = resultNameClash(inputs);
    }
    if (!outcome.fatalMessage.empty()) {
        report.push_back(outcome.fatalMessage);
        allDone = false;
    } else {
        report.push_back("  Processed Directory : " + source);
        report.push_back("  Destination Directory : " + destination);
        report.push_back("  File type : " + extension);
        for (std::string line : {readingLine(inputs.reading), resultsLine(inputs.results)}) {
            if (!line.empty()) {
                report.push_back(std::move(line));
            }
        }
        report.emplace_back();
        report.emplace_back();
        std::set<std::string> drawings;
        for (const std::string& name : inputs.files) {
            drawings.insert(sameFileKey(inputPathOf(source, name)));
        }
        std::unique_ptr<CombinedResult> combined;
        const std::string combinedPath = destination + inputs.results.combine + "." + extension;
        if (!inputs.results.combine.empty()) {
            std::string refusal = validExtension(inputs.results.combine)
                                      ? resultRefusal(combinedPath, drawings)
                                      : "it is not a valid result name";
            OpenedCombined opened =
                refusal.empty()
                    ? openCombinedResult(combinedPath, extension, inputs.files, rules.columns,
                                         inputs.textForm, inputs.results, highest.value)
                    : OpenedCombined{nullptr,
                                     "Cannot write result file '" + combinedPath + "': " + refusal};
            combined = std::move(opened.result);
            if (!combined) {
                outcome.fatalMessage = opened.error;
                report.emplace_back(kResultFailedLine);
                allDone = false;
            }
        }
        monitor.showProgress();
        const std::size_t count = outcome.fatalMessage.empty() ? inputs.files.size() : 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string& name = inputs.files[i];
            const std::string input = inputPathOf(source, name);
            const std::string result =
                combined ? combinedPath : resultPath(destination, name, extension);
            DrawingOutcome drawing;
            if (const std::string refusal =
                    combined ? std::string() : resultRefusal(result, drawings);
                !refusal.empty()) {
                // Nothing is written there; the other drawings' results may well be.
                drawing.inputPath = input;
                drawing.resultPath = result;
                drawing.error = "Cannot write result file '" + result + "': " + refusal;
                drawing.failureEndsRun = false;
            } else {
                drawing = processFile(input, result, extension, rules, highest.value, monitor,
                                      inputs.textForm, inputs.reading, {i + 1, count},
                                      inputs.results, combined.get());
            }
            report.push_back(input);
            report.emplace_back();
            if (drawing.state.openFailed) {
                report.emplace_back(drawing.openFailedLine);
            } else if (!drawing.resultOpened) {
                report.emplace_back(kResultFailedLine);
            } else {
                addFileReport(report, drawing.state, drawing.notes);
            }
            allDone = allDone && drawing.resultWritten && !drawing.drawingChanged;
            // A Stop seen in the pump before the drawing's last line lets it end normally, but
            // still ends the run.
            const bool aborted = drawing.state.abort || monitor.abortRequested();
            const bool resultFailed = !drawing.state.openFailed && !drawing.resultWritten;
            if (resultFailed && !aborted && drawing.failureEndsRun) {
                outcome.fatalMessage = drawing.error;
            }
            outcome.drawings.push_back(std::move(drawing));
            if (aborted) {
                report.emplace_back(kAbortedLine);
                outcome.aborted = true;
                allDone = false;
                break;
            }
            if (!outcome.fatalMessage.empty()) {
                break;
            }
        }
        if (combined && !combined->close(outcome.aborted)) {
            report.emplace_back(kResultFailedLine);
            if (outcome.fatalMessage.empty()) {
                outcome.fatalMessage = combined->errorMessage();
            }
            allDone = false;
        }
    }
    std::string error;
    outcome.reportSaved = saveReportFile(inputs.reportPath, joinLines(report), error);
    if (!outcome.reportSaved) {
        outcome.reportError = "The report could not be saved. " + error;
    }
    monitor.hideProgress();
    outcome.complete = allDone && outcome.reportSaved;
    return outcome;
}

} // namespace kelvora
