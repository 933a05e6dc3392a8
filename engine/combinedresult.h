// One result for all drawings of a run: a workbook with a "Summary" worksheet and a worksheet
// per drawing, or one text file whose first column names the drawing.
#pragma once

#include "engine/rowoutput.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

inline constexpr std::string_view kSummarySheetName = "Summary";
inline constexpr std::string_view kDrawingTitle = "Drawing";
inline constexpr std::string_view kTotalTitle = "Total";

class CombinedResult {
public:
    virtual ~CombinedResult() = default;
    // The result of the next drawing of the run, in the order given when the result was
    // opened; closing it ends the drawing's part.
    virtual OpenedSink beginDrawing(std::size_t drawing) = 0;
    // Writes what is left (the summary) and the file; an aborted workbook is not written, a
    // text keeps its rows. False when the result could not be written.
    virtual bool close(bool aborted) = 0;
    virtual std::string errorMessage() const = 0;
};

struct OpenedCombined {
    std::unique_ptr<CombinedResult> result; // null when the file could not be created
    std::string error;
};

// The result at path for the drawings (file names, in run order), of the kind the extension
// chooses as openSink does, with the rows shaped by the choices.
OpenedCombined openCombinedResult(const std::string& path, const std::string& extension,
                                  const std::vector<std::string>& drawings,
                                  const ColumnList& columns, TextForm textForm,
                                  const ResultChoices& choices, int highestColumn);

// Worksheet names for the drawings' file names: each name without its extension, the
// characters [ ] : * ? / \ replaced by "_", cut to 31 characters, and made unique without
// regard to case, after "Summary" and each other, by " (2)", " (3)"...
std::vector<std::string> sheetNames(const std::vector<std::string>& drawings);

} // namespace kelvora
