// Helpers of the workbook file tests: saving into memory, reading the "Workbook" stream back
// with libgsf's reader, walking records, and the engine's way of filling a worksheet.
#pragma once

#include "record_walker.h"
#include "workbook/workbook.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::test {

// The compound file of a save into memory.
Bytes SaveToMemory(TXLSWorkbook& workbook);
// Names of the root storage's children and the bytes of "Workbook"; false when the bytes are
// not a compound file.
bool ReadCompoundFile(const Bytes& file, std::vector<std::string>& names, Bytes& workbookStream);
// The "Workbook" stream of a save into memory.
Bytes WorkbookStream(TXLSWorkbook& workbook);
// Records of a byte range until its end or until the first zero padding.
std::vector<Record> WalkRecords(const Bytes& stream, std::size_t from = 0, std::size_t to = 0);
// The whole record, header included, as bytes.
Bytes RecordBytes(const Record& record);

// The sheet substream starting at the first worksheet BOF.
std::vector<Record> SheetRecords(const Bytes& stream);
std::vector<std::string> Names(const std::vector<Record>& records);

// What the engine does: "Block Name" and titles in row 1 with the yellow fill, then rows.
IXLSWorksheet& FillLikeTheEngine(TXLSWorkbook& workbook, const std::vector<std::string>& titles,
                                 const std::vector<std::vector<std::string>>& rows);

using Table = std::vector<std::vector<std::string>>;
// Cells (row, column, from 0) expected to hold the number their text in the table gives.
using NumberCells = std::vector<std::pair<int, int>>;
// Reads file with olefile, xlrd, Apache POI, FreeXL and Gnumeric (and LibreOffice when asked)
// and expects table, UTF-8 texts row by row, with row 1 filled light yellow (check_xls.py).
// With sheets, the workbook holds exactly those worksheets and table is the first one.
void ExpectReadersAgree(const std::string& file, const Table& table, bool withLibreOffice,
                        const NumberCells& numbers = {},
                        const std::vector<std::string>& sheets = {"Sheet1"});
bool HaveLibreOffice();

std::string TempDir();
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// Runs a command, returns its exit status and fills output with stdout and stderr.
int Run(const std::string& command, std::string& output);

} // namespace kelvora::test

namespace kelvora::test {

// Reads a .xlsx file with openpyxl, LibreOffice and Gnumeric's ssconvert and expects table,
// UTF-8 texts row by row, with row 1 filled FFFFCC and frozen, a filter over the whole table,
// and the given column widths (column letter to characters) (check_xlsx.py).
void ExpectXlsxReadersAgree(const std::string& file, const Table& table,
                            const std::vector<std::pair<std::string, double>>& widths = {},
                            const NumberCells& numbers = {},
                            const std::vector<std::string>& sheets = {"Sheet1"});

} // namespace kelvora::test
