// Walks BIFF record bytes in tests: framing of every record, and the contents of an SST
// with its CONTINUE records and the EXTSST index that follows it.
#pragma once

#include "workbook/xlsblob.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::test {

using Bytes = std::vector<std::uint8_t>;

Bytes ListBytes(const TXLSBlobList& list);
Bytes BlobBytes(const TXLSBlob& blob);
// Parses hexadecimal byte pairs separated by blanks: "FC 00 14 00".
Bytes Hex(const std::string& text);
// UTF-16LE bytes of an ASCII text.
Bytes Wide(const std::string& text);

struct Record {
    std::uint16_t type = 0;
    std::uint32_t offset = 0; // of the record header within the walked bytes
    Bytes data;
};

// Splits bytes into records; fails when a header or data runs past the end or a record
// carries more than 8224 data bytes.
::testing::AssertionResult WalkRecords(const Bytes& bytes, std::vector<Record>& records);

struct Position {
    std::uint32_t stream = 0;   // position in the workbook stream
    std::uint16_t inRecord = 0; // offset from the start of its record, header included
    bool operator==(const Position&) const = default;
};

struct SstContents {
    std::uint32_t total = 0;
    std::uint32_t unique = 0;
    std::vector<std::u16string> texts;
    std::vector<bool> compressed;     // per text: its first piece in the 8-bit form
    std::vector<Position> starts;     // where each text's cch field lies
    std::vector<Position> extEntries; // EXTSST entries
    std::size_t sstRecords = 0;       // SST and its CONTINUE records
    std::size_t extRecords = 0;       // EXTSST and its CONTINUE records
};

// Checks an SST list written at streamOffset: SST, CONTINUE..., EXTSST, CONTINUE...; every
// text header within one record, option byte 00 (8-bit) or 01 (UTF-16LE) at the start of
// every text and of every continued piece, a record ending exactly where its last character
// ends, cstUnique texts, and one EXTSST entry per 8 texts pointing at the cch field of texts
// 0, 8, 16 ...
::testing::AssertionResult WalkSst(const Bytes& bytes, std::uint32_t streamOffset,
                                   SstContents& sst);

} // namespace kelvora::test
