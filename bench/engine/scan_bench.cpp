// Scanning a large drawing into a text result, against a plain line loop over the same file
// measured in the same run. Prints MB/s, inserts/s, the time ratio and the peak memory of a
// run in a child process for two drawing sizes.
#include "engine/run.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace kelvora;
using Clock = std::chrono::steady_clock;

// Where the drawing's inserts stand: in the entities section, in the block definition of a
// layout other than the active one, or 100 each in block definitions that the entities section
// inserts once each.
enum class Placement { Entities, Layout, Nested };
constexpr long long kHeldPerBlock = 100;

// An R2000-style drawing: inserts with two attributes, with a few other entities between them;
// as text, or as binary DXF with two-byte group codes.
long long writeDrawing(const std::string& path, long long inserts, bool binary = false,
                       Placement placement = Placement::Entities) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::string chunk;
    if (binary) {
        chunk.assign("AutoCAD Binary DXF\r\n\x1a\0", 22);
    }
    auto pair = [&](const char* code, const std::string& value) {
        if (!binary) {
            chunk += code;
            chunk += "\r\n";
            chunk += value;
            chunk += "\r\n";
            return;
        }
        const int number = std::atoi(code);
        chunk += static_cast<char>(number & 0xFF);
        chunk += static_cast<char>(number >> 8);
        if (number >= 10 && number <= 59) {
            const double coordinate = std::atof(value.c_str());
            chunk.append(reinterpret_cast<const char*>(&coordinate), sizeof coordinate);
        } else if (number == 66) {
            const std::int16_t flag = static_cast<std::int16_t>(std::atoi(value.c_str()));
            chunk.append(reinterpret_cast<const char*>(&flag), sizeof flag);
        } else {
            chunk += value;
            chunk += '\0';
        }
    };
    auto blockStart = [&](const std::string& name) {
        pair("  0", "BLOCK");
        pair("  8", "0");
        pair("  2", name);
        pair(" 70", "0");
    };
    pair("  0", "SECTION");
    if (placement == Placement::Entities) {
        pair("  2", "ENTITIES");
    } else {
        pair("  2", "BLOCKS");
        if (placement == Placement::Layout) {
            blockStart("*Paper_Space0");
        }
    }
    for (long long i = 0; i < inserts; ++i) {
        if (placement == Placement::Nested && i % kHeldPerBlock == 0) {
            if (i > 0) {
                pair("  0", "ENDBLK");
            }
            blockStart("ASSY_" + std::to_string(i / kHeldPerBlock));
        }
        const std::string handle = std::to_string(1000 + i);
        pair("  0", "INSERT");
        pair("  5", handle);
        pair("330", "1F");
        pair("100", "AcDbEntity");
        pair("  8", i % 3 == 0 ? "DOORS" : "WINDOWS");
        pair("100", "AcDbBlockReference");
        pair(" 66", "1");
        pair("  2", i % 3 == 0 ? "DOOR_SINGLE" : (i % 3 == 1 ? "WIN_FIXED" : "TAG_PUMP"));
        pair(" 10", std::to_string(i % 997) + ".25");
        pair(" 20", std::to_string(i % 991) + ".5");
        pair(" 30", "0.0");
        for (const char* tag : {"REF", "QTY"}) {
            pair("  0", "ATTRIB");
            pair("100", "AcDbEntity");
            pair("  8", "0");
            pair(" 10", "0.0");
            pair(" 20", "0.0");
            pair(" 30", "0.0");
            pair("  1", std::string(tag) + "-" + std::to_string(i));
            pair("  2", tag);
        }
        pair("  0", "SEQEND");
        pair("  5", handle + "E");
        pair("  8", "0");
        if (i % 10 == 0) {
            pair("  0", "LINE");
            pair("  8", "WALLS");
            pair(" 10", "0.0");
            pair(" 20", "0.0");
            pair(" 11", "1.0");
            pair(" 21", "1.0");
        }
        if (chunk.size() > (1 << 20)) {
            std::fwrite(chunk.data(), 1, chunk.size(), file);
            chunk.clear();
        }
    }
    if (placement != Placement::Entities) {
        pair("  0", "ENDBLK");
        pair("  0", "ENDSEC");
        pair("  0", "SECTION");
        pair("  2", "ENTITIES");
    }
    for (long long k = 0; placement == Placement::Nested && k * kHeldPerBlock < inserts; ++k) {
        pair("  0", "INSERT");
        pair("  8", "0");
        pair("  2", "ASSY_" + std::to_string(k));
    }
    pair("  0", "ENDSEC");
    pair("  0", "EOF");
    std::fwrite(chunk.data(), 1, chunk.size(), file);
    std::fclose(file);
    return static_cast<long long>(std::filesystem::file_size(path));
}

// The baseline: 1 MiB fread blocks, memchr for line ends, each line compared with "INSERT".
long long plainLineLoop(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::vector<char> buffer(1 << 20);
    std::string carry;
    long long found = 0;
    auto check = [&](const char* begin, const char* end) {
        if (end > begin && end[-1] == '\r') {
            --end;
        }
        if (end - begin == 6 && std::memcmp(begin, "INSERT", 6) == 0) {
            ++found;
        }
    };
    std::size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        const char* p = buffer.data();
        const char* end = p + got;
        while (const auto* lf = static_cast<const char*>(std::memchr(p, '\n', end - p))) {
            if (!carry.empty()) {
                carry.append(p, lf);
                check(carry.data(), carry.data() + carry.size());
                carry.clear();
            } else {
                check(p, lf);
            }
            p = lf + 1;
        }
        carry.append(p, end);
    }
    std::fclose(file);
    return found;
}

// Pumps the way a window would: looks at the clock only every 256 lines.
class WindowLikeMonitor : public RunMonitor {
public:
    void pump() override {
        if (++calls_ % 256 == 0) {
            const auto now = Clock::now();
            if (now - last_ >= std::chrono::milliseconds(10)) {
                last_ = now;
                ++pumps;
            }
        }
    }
    long long pumps = 0;

private:
    long long calls_ = 0;
    Clock::time_point last_ = Clock::now();
};

RunInputs runInputs(const std::string& folder, const std::string& name,
                    const ReadingChoices& reading = {}, const ResultChoices& results = {}) {
    RunInputs run;
    run.reading = reading;
    run.results = results;
    run.extension = "csv";
    run.rules.columns = {"Ref", "Qty"};
    run.rules.blockRules.push_back(
        {"DOOR*,WIN*", "DOORS,WINDOWS", "Any Space", {{"REF", "1"}, {"QTY", "2"}}});
    run.sourceFolder = folder;
    run.destinationFolder = folder;
    run.files = {name};
    run.reportPath = folder + "/KelvoraLog.txt";
    return run;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs the scan in a child process and returns its peak resident memory in KiB.
long peakMemoryOfRun(const std::string& folder, const std::string& name,
                     const ReadingChoices& reading = {}) {
    const pid_t child = ::fork();
    if (child == 0) {
        WindowLikeMonitor monitor;
        const RunOutcome outcome = runBatch(runInputs(folder, name, reading), monitor);
        ::_exit(outcome.complete ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    const long long inserts = argc > 1 ? std::atoll(argv[1]) : 300000;
    char pattern[] = "/tmp/kelvora-bench-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    const std::string big = folder + "/big.dxf";
    const std::string small = folder + "/small.dxf";
    const long long bytes = writeDrawing(big, inserts);
    writeDrawing(small, inserts / 10);
    const long long binaryBytes = writeDrawing(folder + "/binary.dxf", inserts, true);
    const double megabytes = static_cast<double>(bytes) / 1e6;
    std::printf("drawing: %.1f MB, %lld inserts\n", megabytes, inserts);

    double baseline = 1e9;
    double engine = 1e9;
    double binaryEngine = 1e9;
    long long matched = 0;
    for (int round = 0; round < 5; ++round) {
        auto start = Clock::now();
        const long long found = plainLineLoop(big);
        baseline = std::min(baseline, seconds(Clock::now() - start));

        WindowLikeMonitor monitor;
        start = Clock::now();
        const RunOutcome outcome = runBatch(runInputs(folder, "big.dxf"), monitor);
        engine = std::min(engine, seconds(Clock::now() - start));
        matched = outcome.drawings.at(0).state.matched;
        if (!outcome.complete || outcome.drawings[0].state.processed != found) {
            std::printf("run failed: %s\n", outcome.fatalMessage.c_str());
            return 1;
        }

        start = Clock::now();
        const RunOutcome binary = runBatch(runInputs(folder, "binary.dxf"), monitor);
        binaryEngine = std::min(binaryEngine, seconds(Clock::now() - start));
        if (!binary.complete || binary.drawings[0].state.matched != matched) {
            std::printf("binary run failed: %s\n", binary.fatalMessage.c_str());
            return 1;
        }
    }
    std::printf("plain line loop: %.3f s, %.0f MB/s\n", baseline, megabytes / baseline);
    std::printf("engine run:      %.3f s, %.0f MB/s, %.0f inserts/s (%lld rows written)\n", engine,
                megabytes / engine, static_cast<double>(inserts) / engine, matched);
    std::printf("time ratio engine/baseline: %.2f (target at most 0.5, aim 0.35)\n",
                engine / baseline);
    std::printf("binary drawing:  %.1f MB, %.3f s, %.0f inserts/s, time per insert binary/text: "
                "%.2f (target at most 1.0)\n",
                static_cast<double>(binaryBytes) / 1e6, binaryEngine,
                static_cast<double>(inserts) / binaryEngine, binaryEngine / engine);
    const long smallPeak = peakMemoryOfRun(folder, "small.dxf");
    const long bigPeak = peakMemoryOfRun(folder, "big.dxf");
    std::printf("peak memory of a run: %.1f MB for %.1f MB, %.1f MB for %.1f MB (target under "
                "32 MB)\n",
                smallPeak / 1024.0, megabytes / 10, bigPeak / 1024.0, megabytes);

    // Quantities against the plain run, alternated so that both see the same machine.
    std::vector<double> plainTimes;
    std::vector<double> quantityTimes;
    for (int round = 0; round < 5; ++round) {
        for (const bool quantities : {false, true}) {
            WindowLikeMonitor monitor;
            ResultChoices results;
            results.quantities = quantities;
            const auto start = Clock::now();
            const RunOutcome outcome = runBatch(runInputs(folder, "big.dxf", {}, results), monitor);
            (quantities ? quantityTimes : plainTimes).push_back(seconds(Clock::now() - start));
            if (!outcome.complete) {
                std::printf("quantities run failed: %s\n", outcome.fatalMessage.c_str());
                return 1;
            }
        }
    }
    std::printf("quantities: median %.3f s against %.3f s plain, ratio %.2f (target at most "
                "1.3)\n",
                median(quantityTimes), median(plainTimes),
                median(quantityTimes) / median(plainTimes));

    // 200 small drawings into one workbook against 200 workbooks, alternated.
    std::vector<std::string> smallDrawings;
    for (int k = 0; k < 200; ++k) {
        smallDrawings.push_back("part" + std::to_string(k) + ".dxf");
        writeDrawing(folder + "/" + smallDrawings.back(), 500);
    }
    for (const char* kind : {"xls", "xlsx"}) {
        std::vector<double> separateTimes;
        std::vector<double> combinedTimes;
        for (int round = 0; round < 3; ++round) {
            for (const bool combined : {false, true}) {
                RunInputs run = runInputs(folder, "", {}, {});
                run.files = smallDrawings;
                run.extension = kind;
                run.results.combine = combined ? "All" : "";
                WindowLikeMonitor monitor;
                const auto start = Clock::now();
                const RunOutcome outcome = runBatch(run, monitor);
                (combined ? combinedTimes : separateTimes).push_back(seconds(Clock::now() - start));
                if (!outcome.complete) {
                    std::printf("combined run failed: %s\n", outcome.fatalMessage.c_str());
                    return 1;
                }
            }
        }
        std::printf("200 drawings of 500 inserts, %s: one result median %.3f s against %.3f s for "
                    "200 results, ratio %.2f (target at most 1.5)\n",
                    kind, median(combinedTimes), median(separateTimes),
                    median(combinedTimes) / median(separateTimes));
    }

    // Inserts kept from block definitions: another layout's, and blocks inside blocks.
    const long long held = inserts / 3;
    writeDrawing(folder + "/layout.dxf", held, false, Placement::Layout);
    writeDrawing(folder + "/nested.dxf", held, false, Placement::Nested);
    const ReadingChoices nested{.nested = true};
    for (const auto& [name, reading] :
         {std::pair{"layout.dxf", ReadingChoices{}}, std::pair{"nested.dxf", nested}}) {
        double best = 1e9;
        long long rows = 0;
        for (int round = 0; round < 3; ++round) {
            WindowLikeMonitor monitor;
            const auto start = Clock::now();
            const RunOutcome outcome = runBatch(runInputs(folder, name, reading), monitor);
            best = std::min(best, seconds(Clock::now() - start));
            rows = outcome.complete ? outcome.drawings[0].state.matched : -1;
        }
        std::printf("%lld inserts in block definitions (%s): %.3f s, %.0f inserts/s, time per "
                    "insert against the entities section: %.2f, %lld rows, peak memory %.1f MB\n",
                    held, name, best, static_cast<double>(held) / best,
                    best / static_cast<double>(held) * static_cast<double>(inserts) / engine, rows,
                    peakMemoryOfRun(folder, name, reading) / 1024.0);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
