// The worksheet kind of result: a workbook with one worksheet holding the title row and one
// row per accepted insert, saved as a BIFF8 .xls file at the normal end of the drawing.
#pragma once

#include "engine/rowoutput.h"

namespace kelvora {

// A new workbook whose worksheet holds "Block Name" and the column titles in row 1, filled
// light yellow. Nothing is written to path before the result is closed.
OpenedSink openWorksheetResult(const std::string& path, const ColumnList& columns);

// Report lines of a worksheet that could not hold everything.
std::string rowsBeyondLimitWarning(long long rows);
inline constexpr std::string_view kFieldsBeyondLimitWarning =
    "*** Warning, fields beyond column 256 were not written ***";

} // namespace kelvora
