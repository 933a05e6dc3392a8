// The Office Open XML kind of result (.xlsx): a workbook with one worksheet holding the title
// row and one row per accepted insert, written through libxlsxwriter row by row, so that the
// memory it takes does not grow with the drawing.
#pragma once

#include "engine/rowoutput.h"

#include <string_view>

namespace kelvora {

// A new workbook whose worksheet holds "Block Name" and the column titles in row 1, filled
// light yellow and frozen above the rows, with a filter over the whole table and each column as
// wide as its longest text. The rows go to a temporary file beside path that replaces path
// when the result is closed normally; an aborted result leaves an earlier file as it was. A
// workbook that cannot be written is reported by close(). With numbers, a row's value that is a
// plain decimal number becomes a number cell.
OpenedSink openXlsxResult(const std::string& path, const ColumnList& columns, bool numbers = false);
// An Office Open XML workbook of several worksheets (see WorkbookResult); null in a build
// without .xlsx.
std::unique_ptr<WorkbookResult> openXlsxWorkbook(const std::string& path);

// Whether this build writes .xlsx results: the Windows build has no libxlsxwriter.
#ifdef KELVORA_NO_XLSX
inline constexpr bool kXlsxAvailable = false;
#else
inline constexpr bool kXlsxAvailable = true;
#endif
inline constexpr std::string_view kXlsxUnavailable =
    "this build of Kelvora writes no .xlsx workbooks; use \"xls\" or comma-separated text";

// The rows and columns of an Office Open XML worksheet.
inline constexpr long long kXlsxRows = 1048576;
inline constexpr std::size_t kXlsxColumns = 16384;
inline constexpr std::string_view kXlsxFieldsBeyondLimitWarning =
    "*** Warning, fields beyond column 16384 were not written ***";

// The widest a column is made, in characters.
inline constexpr double kXlsxMaxColumnWidth = 60;

// How a text is stored in a worksheet cell: control characters other than tab and line feed,
// U+FFFE and U+FFFF (none of which XML may carry) as _xHHHH_, and a literal _xHHHH_ behind
// _x005F_ so that readers do not take it for such an escape. Returns false and leaves out
// untouched when the text needs none of this.
bool escapeCellText(std::string_view text, std::string& out);

// The width of a UTF-8 text in characters of the worksheet's font: East Asian wide characters
// and emoji count two, every other character one.
std::size_t displayWidth(std::string_view text);

} // namespace kelvora
