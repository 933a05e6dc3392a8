// The worksheet kind of result: a workbook with one worksheet holding the title row and one
// row per accepted insert, saved as a BIFF8 .xls file at the normal end of the drawing.
#pragma once

#include "engine/rowoutput.h"

namespace kelvora {

// A new workbook whose worksheet holds "Block Name" and the column titles in row 1, filled
// light yellow. Nothing is written to path before the result is closed. With numbers, a row's
// value that is a plain decimal number becomes a number cell.
OpenedSink openWorksheetResult(const std::string& path, const ColumnList& columns,
                               bool numbers = false);
// The same result saved into memory when closed instead of a file: the compound file's bytes.
std::unique_ptr<ResultSink> openWorksheetInMemory(const ColumnList& columns, bool numbers,
                                                  std::string& bytes);

// A .xls workbook of several worksheets (see WorkbookResult).
std::unique_ptr<WorkbookResult> openXlsWorkbook(const std::string& path);

// Report lines of a worksheet that could not hold everything.
std::string rowsBeyondLimitWarning(long long rows);
std::string textsCutWarning(long long texts);

// The most characters (UTF-16 code units) a spreadsheet cell holds.
inline constexpr std::size_t kCellTextLimit = 32767;
// Cuts a UTF-8 text to at most units UTF-16 code units, between two characters, so that a
// character outside the Basic Multilingual Plane is never cut in half; true when it was cut.
bool cutToUtf16Units(std::string& text, std::size_t units);
inline bool cutToCellLimit(std::string& text) {
    return cutToUtf16Units(text, kCellTextLimit);
}
inline constexpr std::string_view kFieldsBeyondLimitWarning =
    "*** Warning, fields beyond column 256 were not written ***";

} // namespace kelvora
