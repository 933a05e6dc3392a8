// kelvora-batch: the run of the window without the window, for scripts and checks.
#include "configuration/configuration.h"
#include "engine/run.h"
#include "engine/xlsxresult.h"
#include "platform/filepaths.h"
#include "platform/system.h"

#include <algorithm>
#include <atomic>
#include <clocale>
#include <filesystem>
#include <iostream>

namespace {

using namespace kelvora;

constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: kelvora-batch -c CONFIG.kvx [-o DEST_DIR] [-e EXT] [--text-encoding ENC]\n"
    "                     [--text-raw] [--no-dynamic-names] [--active-layout-only]\n"
    "                     [--no-minsert-copies] [--nested] [--quantities] [--numbers]\n"
    "                     [--combine NAME]\n"
    "                     [--report FILE] [-q] INPUT...\n"
    "Writes one bill-of-material table per drawing, from the block inserts its rules select.\n"
    "\n"
    "  -c CONFIG.kvx   the configuration (column titles and block rules)\n"
    "  -o DEST_DIR     folder of the results (default: the current folder)\n"
    "  -e EXT          result extension: \"xls\" for .xls workbooks, \"xlsx\" for Office\n"
    "                  Open XML workbooks, anything else for comma-separated text\n"
    "                  (default: xls)\n"
    "  --text-encoding ENC\n"
    "                  texts of comma-separated results: \"as-read\" keeps the drawing's\n"
    "                  bytes (default), \"utf-8\" decodes them to UTF-8 with a byte-order mark\n"
    "  --text-raw      comma-separated results keep values that begin like a formula (=, +,\n"
    "                  -, @) as read; by default they get a leading apostrophe so that no\n"
    "                  spreadsheet program runs them\n"
    "  --no-dynamic-names\n"
    "                  read dynamic blocks under their anonymous names (\"*U16\") instead of\n"
    "                  their own\n"
    "  --active-layout-only\n"
    "                  read model space and the layout that was active when the drawing\n"
    "                  was saved, not the blocks of the other layouts\n"
    "  --no-minsert-copies\n"
    "                  one row for a block array (MINSERT) instead of one per copy\n"
    "  --nested        also read the blocks inside inserted blocks, level by level\n"
    "  --quantities    combine identical rows into one, with a Quantity column counting\n"
    "                  the inserts it stands for\n"
    "  --numbers       in workbooks, store plain decimal numbers (\"12\", \"-3.5\") as numbers;\n"
    "                  other values (\"007\", \"12 mm\") stay texts\n"
    "  --combine NAME  one result NAME.EXT for all drawings: in workbooks a worksheet per\n"
    "                  drawing after a \"Summary\" worksheet counting each block per drawing;\n"
    "                  in text a first column \"Drawing\"\n"
    "  --report FILE   run report (default: KelvoraLog.txt beside the program, or in\n"
    "                  ~/.local/share/kelvora when installed)\n"
    "  -q              no progress on standard error\n"
    "  --help, --version\n"
    "INPUT is a drawing or a folder (every .dxf file directly in it, in name order).\n"
    "Text and binary DXF drawings are read. Exit status: 0 all drawings processed and all\n"
    "results written; 1 a drawing could not be opened or read (not a DXF drawing, or changed\n"
    "while it was read), a result not written or the run stopped; 2 a usage error, an\n"
    "unreadable configuration or two drawings that would give one result name.\n";

std::atomic<bool> interrupted = false; // lock-free: set from a signal handler or another thread

void onInterrupt() {
    interrupted = true;
}

// Progress as one line on standard error; Ctrl-C stops the run like the window's Stop button.
class ConsoleMonitor : public RunMonitor {
public:
    explicit ConsoleMonitor(bool quiet) : quiet_(quiet), terminal_(standardErrorIsTerminal()) {}

    void setLabel(const std::string& text) override {
        label_ = text;
        percent_ = -1;
        if (!quiet_ && !terminal_) {
            std::cerr << text << '\n';
        }
    }
    void setRange(long long max) override { max_ = max; }
    void setPosition(long long pos) override {
        const int percent = max_ > 0 ? static_cast<int>(std::min(100LL, pos * 100 / max_)) : 0;
        if (!quiet_ && terminal_ && percent != percent_) {
            percent_ = percent;
            std::cerr << '\r' << label_ << "  " << percent << "%\x1b[K" << std::flush;
        }
    }
    void hideProgress() override {
        if (!quiet_ && terminal_ && percent_ >= 0) {
            std::cerr << '\n';
        }
    }
    bool abortRequested() override { return interrupted; }

private:
    bool quiet_;
    bool terminal_;
    std::string label_;
    long long max_ = 0;
    int percent_ = -1;
};

struct Options {
    std::string configuration;
    std::string destination;
    std::string extension = "xls";
    std::string report;
    std::string textEncoding = "as-read";
    ReadingChoices reading;
    ResultChoices results;
    bool quiet = false;
    std::vector<std::string> inputs;
};

bool isFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(pathFromUtf8(path), error);
}

bool hasDrawingExtension(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".dxf";
}

// The drawings directly in a folder, in name order.
std::vector<std::string> drawingsIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(pathFromUtf8(folder), error)) {
        const std::string name = utf8FromPath(entry.path().filename());
        if (hasDrawingExtension(name) && !entry.is_directory(error)) {
            names.push_back(name);
        }
    }
    // Name order as a file list shows it: case ignored, then byte order between equals.
    auto folded = [](const std::string& name) {
        std::string result = name;
        std::transform(result.begin(), result.end(), result.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return result;
    };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        const std::string fa = folded(a);
        const std::string fb = folded(b);
        return fa != fb ? fa < fb : a < b;
    });
    return names;
}

std::string currentFolder() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    return error ? std::string(".") : utf8FromPath(folder);
}

// The drawings to run, as one source folder and names in it: the common folder when all
// drawings share one, otherwise the current folder and the paths as given.
void collectDrawings(const std::vector<std::string>& inputs, RunInputs& run) {
    std::vector<std::string> paths;
    for (const std::string& input : inputs) {
        if (isFolder(input)) {
            for (const std::string& name : drawingsIn(input)) {
                paths.push_back(withSeparator(input) + name);
            }
        } else {
            paths.push_back(input); // a missing drawing gets its error line in the report
        }
    }
    const std::string common = paths.empty() ? std::string() : folderOf(paths.front());
    const bool shared = std::all_of(paths.begin(), paths.end(), [&](const std::string& path) {
        return folderOf(path) == common;
    });
    if (shared && !common.empty()) {
        run.sourceFolder =
            utf8FromPath(std::filesystem::absolute(pathFromUtf8(common)).lexically_normal());
        for (const std::string& path : paths) {
            run.files.push_back(path.substr(common.size()));
        }
    } else {
        run.sourceFolder = currentFolder();
        run.files = paths;
    }
}

int usageError(const std::string& message) {
    std::cerr << "kelvora-batch: " << message << "\n\n" << kUsage;
    return kExitUsage;
}

// Returns an empty message when the arguments are complete.
std::string parseArguments(const std::vector<std::string>& argv, Options& options, bool& done) {
    const int argc = static_cast<int>(argv.size());
    done = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= argc) {
                return false;
            }
            target = argv[++i];
            return true;
        };
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options.inputs.push_back(genericPath(arg));
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            if (!kXlsxAvailable) {
                std::cout << "This build writes no .xlsx workbooks (-e xlsx).\n";
            }
            done = true;
            return {};
        } else if (arg == "--version") {
            std::cout << "kelvora-batch " << KELVORA_VERSION << '\n';
            done = true;
            return {};
        } else if (arg == "-q") {
            options.quiet = true;
        } else if (arg == "--text-raw") {
            options.results.textRaw = true;
        } else if (arg == "--no-dynamic-names") {
            options.reading.dynamicNames = false;
        } else if (arg == "--active-layout-only") {
            options.reading.allLayouts = false;
        } else if (arg == "--no-minsert-copies") {
            options.reading.minsertCopies = false;
        } else if (arg == "--nested") {
            options.reading.nested = true;
        } else if (arg == "--quantities") {
            options.results.quantities = true;
        } else if (arg == "--numbers") {
            options.results.numbers = true;
        } else if ((arg == "-c" && !value(options.configuration)) ||
                   (arg == "-o" && !value(options.destination)) ||
                   (arg == "-e" && !value(options.extension)) ||
                   (arg == "--report" && !value(options.report)) ||
                   (arg == "--combine" && !value(options.results.combine)) ||
                   (arg == "--text-encoding" && !value(options.textEncoding))) {
            return "option " + arg + " needs a value";
        } else if (arg != "-c" && arg != "-o" && arg != "-e" && arg != "--report" &&
                   arg != "--text-encoding" && arg != "--combine") {
            return "unknown option " + arg;
        }
    }
    if (options.textEncoding != "as-read" && options.textEncoding != "utf-8") {
        return "--text-encoding takes \"as-read\" or \"utf-8\", not '" + options.textEncoding + "'";
    }
    if (!kXlsxAvailable && options.extension == "xlsx") {
        return std::string(kXlsxUnavailable);
    }
    const bool combineGiven = std::find(argv.begin(), argv.end(), "--combine") != argv.end();
    if (combineGiven && !validExtension(options.results.combine)) {
        return "'" + options.results.combine + "' is not a valid result name for --combine";
    }
    if (options.configuration.empty()) {
        return "a configuration is needed (-c CONFIG.kvx)";
    }
    for (std::string* path : {&options.configuration, &options.destination, &options.report}) {
        *path = genericPath(*path);
    }
    if (options.inputs.empty()) {
        return "no drawing or folder given";
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_TIME, "");
    Options options;
    bool done = false;
    const std::vector<std::string> arguments = utf8Arguments(argc, argv);
    if (const std::string problem = parseArguments(arguments, options, done); !problem.empty()) {
        return usageError(problem);
    }
    if (done) {
        return 0;
    }

    RunInputs run;
    run.textForm = options.textEncoding == "utf-8" ? TextForm::Decoded : TextForm::AsRead;
    run.reading = options.reading;
    run.results = options.results;
    run.extension = trimExtension(options.extension);
    if (!validExtension(run.extension)) {
        return usageError("'" + options.extension +
                          "' is not a valid file extension (Enter a valid file extension please.)");
    }
    LoadedConfiguration loaded = loadconf(options.configuration);
    if (!loaded.rules) {
        std::cerr << "kelvora-batch: " << loaded.error << '\n';
        return kExitUsage;
    }
    run.rules = std::move(*loaded.rules);
    if (run.rules.blockRules.empty() && !options.quiet) {
        std::cerr << "kelvora-batch: the configuration has no block rules; "
                     "every result will hold the title row only\n";
    }

    run.destinationFolder = options.destination.empty() ? currentFolder() : options.destination;
    if (!writableFolder(run.destinationFolder)) {
        std::cerr << "kelvora-batch: the destination folder '" << run.destinationFolder
                  << "' does not exist or cannot be written\n";
        return 1;
    }
    run.reportPath = options.report.empty() ? ProgramPaths::current().reportFile : options.report;
    collectDrawings(options.inputs, run);
    if (run.files.empty() && !options.quiet) {
        std::cerr << "kelvora-batch: no drawings found\n";
    }
    if (const std::string clash = resultNameClash(run); !clash.empty()) {
        std::cerr << "kelvora-batch: " << clash << "; nothing was written\n";
        return kExitUsage;
    }

    // Ctrl-C, and the stop that timeout, service managers and closed terminals send, end the
    // run at the next line with its report; a second one ends the program at once. Progress
    // written to a reader that has gone is dropped; the run goes on.
    onStopRequest(onInterrupt);

    ConsoleMonitor monitor(options.quiet);
    const RunOutcome outcome = runBatch(run, monitor);
    for (const DrawingOutcome& drawing : outcome.drawings) {
        if (!drawing.error.empty()) {
            std::cerr << "kelvora-batch: " << drawing.error << '\n';
        }
    }
    const bool toldAlready =
        !outcome.drawings.empty() && outcome.drawings.back().error == outcome.fatalMessage;
    if (!outcome.fatalMessage.empty() && !toldAlready) {
        std::cerr << "kelvora-batch: " << outcome.fatalMessage << '\n';
    }
    if (!outcome.reportError.empty()) {
        std::cerr << "kelvora-batch: " << outcome.reportError << '\n';
    }
    if (outcome.aborted) {
        std::cerr << "kelvora-batch: process aborted\n";
    }
    if (outcome.reportSaved && !options.quiet) {
        std::cerr << "Report: " << outcome.reportPath << '\n';
    }
    if (highestColumn(run.rules).invalidText) {
        return kExitUsage; // the rules cannot be used: a configuration problem
    }
    return outcome.complete ? 0 : 1;
}
