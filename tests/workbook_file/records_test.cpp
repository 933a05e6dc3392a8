// Cell records, the worksheet substream and the globals substream, checked on the bytes of
// the "Workbook" stream read back from the compound file.
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace kelvora {
namespace {

using test::Bytes;
using test::Hex;
using test::Record;

std::string HexWord(std::uint32_t v) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", v);
    return buffer;
}

std::string Rk(double x) {
    std::uint32_t rk = 0;
    return EncodeRk(x, rk) ? HexWord(rk) : "none";
}

TEST(EncodeRk, ValuesList) {
    EXPECT_EQ(Rk(1), "00000006");
    EXPECT_EQ(Rk(-1), "FFFFFFFE");
    EXPECT_EQ(Rk(100), "00000192");
    EXPECT_EQ(Rk(0.5), "000000CB");
    EXPECT_EQ(Rk(2.5), "000003EB");
    EXPECT_EQ(Rk(0.125), "3FC00000");
    EXPECT_EQ(Rk(536870911), "7FFFFFFE");
    EXPECT_EQ(Rk(536870912), "41C00000");
    EXPECT_EQ(Rk(-0.01), "FFFFFFFF");
    EXPECT_EQ(Rk(1234567.89), "1D6F3457");
    EXPECT_EQ(Rk(-536870912), "80000002");
    EXPECT_EQ(Rk(0.001), "none");
    EXPECT_EQ(Rk(1.0 / 3), "none");
}

// Records of the first worksheet of a workbook, by name.
class SheetRecords {
public:
    explicit SheetRecords(TXLSWorkbook& book)
        : records_(test::SheetRecords(test::WorkbookStream(book))) {}
    std::vector<std::string> Names() const { return test::Names(records_); }
    std::vector<Record> All(std::uint16_t type) const {
        std::vector<Record> out;
        std::copy_if(records_.begin(), records_.end(), std::back_inserter(out),
                     [&](const Record& r) { return r.type == type; });
        return out;
    }
    Bytes One(std::uint16_t type) const {
        auto all = All(type);
        EXPECT_EQ(all.size(), 1u) << "record " << type;
        return all.empty() ? Bytes() : test::RecordBytes(all[0]);
    }
    std::size_t Size() const {
        std::size_t size = 0;
        for (const auto& r : records_)
            size += 4 + r.data.size();
        return size;
    }
    const std::vector<Record>& records() const { return records_; }

private:
    std::vector<Record> records_;
};

TEST(CellRecords, NumbersRunsAndKinds) {
    auto book = TXLSWorkbook::Create();
    IXLSWorksheet& sheet = *book->Worksheets().Add();
    auto cells = sheet.Cells();
    // Row 5: 1, 2, 3 then a text: one MULRK then LABELSST.
    cells->Item(5, 1)->SetValue(1.0);
    cells->Item(5, 2)->SetValue(2.0);
    cells->Item(5, 3)->SetValue(3.0);
    cells->Item(5, 4)->SetValue(std::string("t"));
    // Row 6: 1 and 2 with a gap: two RK.
    cells->Item(6, 1)->SetValue(1.0);
    cells->Item(6, 3)->SetValue(2.0);
    // Row 7: 1 and 0.001: RK and NUMBER.
    cells->Item(7, 1)->SetValue(1.0);
    cells->Item(7, 2)->SetValue(0.001);
    // Row 8: columns 127 and 128 run on; row 8 column 256 and row 9 column 1 do not.
    cells->Item(8, 128)->SetValue(4.0);
    cells->Item(8, 129)->SetValue(5.0);
    cells->Item(8, 256)->SetValue(6.0);
    cells->Item(9, 1)->SetValue(7.0);
    // Row 10: a date, booleans, a blank without format (no record).
    cells->Item(10, 1)->SetValue(TXLSDate{40000});
    cells->Item(10, 2)->SetValue(true);
    cells->Item(10, 3)->SetValue(false);
    cells->Item(10, 4)->SetValue(TXLSValue{});

    SheetRecords records(*book);
    const auto mulrk = records.All(kMulRkRecordType);
    ASSERT_EQ(mulrk.size(), 2u);
    EXPECT_EQ(test::RecordBytes(mulrk[0]),
              Hex("BD 00 18 00 04 00 00 00 00 00 06 00 00 00 00 00 0A 00 00 00 00 00 0E 00 "
                  "00 00 02 00"));
    EXPECT_EQ(test::RecordBytes(mulrk[1]),
              Hex("BD 00 12 00 07 00 7F 00 00 00 12 00 00 00 00 00 16 00 00 00 80 00"));
    const auto rk = records.All(kRkRecordType);
    ASSERT_EQ(rk.size(), 5u);
    EXPECT_EQ(test::RecordBytes(rk[0]), Hex("7E 02 0A 00 05 00 00 00 00 00 06 00 00 00"));
    EXPECT_EQ(test::RecordBytes(rk[1]), Hex("7E 02 0A 00 05 00 02 00 00 00 0A 00 00 00"));
    EXPECT_EQ(rk[3].data[2], 0xFF); // row 8, column 255
    EXPECT_EQ(rk[4].data[0], 8);    // row 9, column 0
    const auto numbers = records.All(kNumberRecordType);
    ASSERT_EQ(numbers.size(), 2u);
    double value;
    std::memcpy(&value, numbers[0].data.data() + 6, 8);
    EXPECT_EQ(value, 0.001);
    std::memcpy(&value, numbers[1].data.data() + 6, 8);
    EXPECT_EQ(value, 40000);
    const auto booleans = records.All(kBoolErrRecordType);
    ASSERT_EQ(booleans.size(), 2u);
    EXPECT_EQ(test::RecordBytes(booleans[0]), Hex("05 02 08 00 09 00 01 00 00 00 01 00"));
    EXPECT_EQ(booleans[1].data[6], 0);
    EXPECT_TRUE(records.All(kBlankRecordType).empty());
    // DIMENSIONS covers the written cells: rows 4..9, columns 0..255.
    EXPECT_EQ(records.One(0x0200), Hex("00 02 0E 00 04 00 00 00 0A 00 00 00 00 00 00 01 00 00"));
}

TEST(CellRecords, BlankCellsWithAFormatGetABlankRecord) {
    auto book = TXLSWorkbook::Create();
    IXLSWorksheet& sheet = *book->Worksheets().Add();
    sheet.Cells()->Item(3, 2)->Interior()->SetColorIndex(19);
    // A stored blank cell without format widens INDEX, not DIMENSIONS.
    sheet.CellStore().GetCell(10, 0);
    SheetRecords records(*book);
    EXPECT_EQ(records.One(kBlankRecordType), Hex("01 02 06 00 02 00 01 00 15 00"));
    EXPECT_EQ(records.One(0x020B),
              Hex("0B 02 10 00 00 00 00 00 02 00 00 00 0B 00 00 00 00 00 00 00"));
    EXPECT_EQ(records.One(0x0200), Hex("00 02 0E 00 02 00 00 00 03 00 00 00 01 00 02 00 00 00"));
}

TEST(SheetStream, TypicalSheet) {
    auto book = TXLSWorkbook::Create();
    test::FillLikeTheEngine(*book, {"Ref"}, {{"DOOR1", "D-01"}});
    SheetRecords records(*book);
    EXPECT_EQ(
        records.Names(),
        std::vector<std::string>(
            {"BOF",          "INDEX",          "CALCMODE",     "CALCCOUNT",   "REFMODE",
             "ITERATION",    "DELTA",          "SAVERECALC",   "DEFCOLWIDTH", "DEFAULTROWHEIGHT",
             "PRINTHEADERS", "PRINTGRIDLINES", "GRIDSET",      "GUTS",        "WSBOOL",
             "SETUP",        "DIMENSIONS",     "ROW",          "LABELSST",    "LABELSST",
             "LABELSST",     "LABELSST",       "BOTTOMMARGIN", "TOPMARGIN",   "RIGHTMARGIN",
             "LEFTMARGIN",   "VCENTER",        "HCENTER",      "FOOTER",      "HEADER",
             "WINDOW2",      "SELECTION",      "EOF"}));
    EXPECT_EQ(records.Size(), 383u);
    EXPECT_EQ(records.One(kBofRecordType),
              Hex("09 08 10 00 00 06 10 00 AF 18 CD 07 C9 80 00 00 06 01 00 00"));
    EXPECT_EQ(records.One(0x020B),
              Hex("0B 02 10 00 00 00 00 00 00 00 00 00 02 00 00 00 00 00 00 00"));
    EXPECT_EQ(records.One(0x0010), Hex("10 00 08 00 FC A9 F1 D2 4D 62 50 3F"));
    EXPECT_EQ(records.One(0x0225), Hex("25 02 04 00 00 00 FF 00"));
    EXPECT_EQ(records.One(0x0208),
              Hex("08 02 10 00 00 00 00 00 00 00 FF 80 00 00 00 00 80 01 15 00"));
    EXPECT_EQ(records.One(0x0080), Hex("80 00 08 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(records.One(0x0081), Hex("81 00 02 00 C1 04"));
    EXPECT_EQ(records.One(0x00A1),
              Hex("A1 00 22 00 00 00 64 00 01 00 00 00 00 00 02 00 58 02 58 02 "
                  "00 00 00 00 00 00 E0 3F 00 00 00 00 00 00 E0 3F 01 00"));
    EXPECT_EQ(records.One(0x0200), Hex("00 02 0E 00 00 00 00 00 02 00 00 00 00 00 02 00 00 00"));
    EXPECT_EQ(records.One(0x023E), Hex("3E 02 12 00 B6 06 00 00 00 00 40 00 00 00 00 00 00 "
                                       "00 00 00 00 00"));
    EXPECT_EQ(records.One(0x0015), Hex("15 00 03 00 00 00 01"));
    EXPECT_EQ(records.One(0x001D), Hex("1D 00 0F 00 03 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));
    EXPECT_EQ(records.One(kEofRecordType), Hex("0A 00 00 00"));
    const auto labels = records.All(kLabelSstRecordType);
    ASSERT_EQ(labels.size(), 4u);
    EXPECT_EQ(test::RecordBytes(labels[0]), Hex("FD 00 0A 00 00 00 00 00 15 00 00 00 00 00"));
    EXPECT_EQ(test::RecordBytes(labels[1]), Hex("FD 00 0A 00 00 00 01 00 15 00 01 00 00 00"));
    EXPECT_EQ(test::RecordBytes(labels[2]), Hex("FD 00 0A 00 01 00 00 00 00 00 02 00 00 00"));
}

TEST(SheetStream, EmptySheet) {
    auto book = TXLSWorkbook::Create();
    book->Worksheets().Add();
    SheetRecords records(*book);
    EXPECT_EQ(records.Size(), 307u);
    EXPECT_TRUE(records.All(0x0208).empty());
    EXPECT_TRUE(records.All(0x007D).empty());
    EXPECT_EQ(records.One(0x020B),
              Hex("0B 02 10 00 00 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));
    EXPECT_EQ(records.One(0x0200), Hex("00 02 0E 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00"));
}

TEST(SheetStream, ColumnRuns) {
    auto book = TXLSWorkbook::Create();
    IXLSWorksheet& sheet = *book->Worksheets().Add();
    for (int c = 2; c <= 4; ++c)
        sheet.Columns().SetColumnWidth(c, 12);
    sheet.Columns().SetColumnWidth(5, 20);
    for (int c = 250; c <= 255; ++c)
        sheet.Columns().SetColumnHidden(c, true);
    sheet.Columns().SetDefaultColumnWidth(10);
    SheetRecords records(*book);
    const auto colinfo = records.All(0x007D);
    ASSERT_EQ(colinfo.size(), 3u);
    EXPECT_EQ(test::RecordBytes(colinfo[0]),
              Hex("7D 00 0C 00 02 00 04 00 B6 0C 00 00 02 00 02 00"));
    EXPECT_EQ(test::RecordBytes(colinfo[1]),
              Hex("7D 00 0C 00 05 00 05 00 B6 14 00 00 02 00 02 00"));
    // A run ending at the last column writes 256; its entries were made with the default
    // width of that time.
    EXPECT_EQ(test::RecordBytes(colinfo[2]),
              Hex("7D 00 0C 00 FA 00 00 01 24 09 00 00 03 00 02 00"));
    EXPECT_EQ(records.One(0x0099), Hex("99 00 02 00 B6 0A"));

    auto single = TXLSWorkbook::Create();
    single->Worksheets().Add()->Columns().SetColumnWidth(255, 3);
    const auto last = SheetRecords(*single).All(0x007D);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].data[2], 0xFF);
    EXPECT_EQ(last[0].data[3], 0x00);
}

TEST(SheetStream, RowOptionsAndOutline) {
    auto book = TXLSWorkbook::Create();
    IXLSWorksheet& sheet = *book->Worksheets().Add();
    sheet.Rows().SetRowHeight(1, 15); // 300 twips
    sheet.Rows().SetRowHeight(2, 15);
    sheet.Rows().SetRowHidden(2, true);
    for (int r = 5; r <= 9; ++r)
        sheet.Rows().SetRowLevel(r, 2);
    SheetRecords records(*book);
    const auto rows = records.All(0x0208);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(test::RecordBytes(rows[0]),
              Hex("08 02 10 00 01 00 00 00 00 00 2C 01 00 00 00 00 40 01 0F 00"));
    EXPECT_EQ(rows[1].data[12], 0x20); // hidden
    const std::vector<int> outlineBit = {rows[2].data[12], rows[3].data[12], rows[4].data[12],
                                         rows[5].data[12], rows[6].data[12]};
    EXPECT_EQ(outlineBit, std::vector<int>({0x11, 0x01, 0x01, 0x01, 0x11}));
    EXPECT_EQ(records.One(0x0080), Hex("80 00 08 00 1D 00 00 00 02 00 00 00"));
    // Hidden rows at the top move the first visible row.
    sheet.Rows().SetRowHidden(0, true);
    sheet.Rows().SetRowHidden(1, true);
    EXPECT_EQ(SheetRecords(*book).One(0x023E)[6], 3);
}

// Records of the globals substream.
std::vector<Record> Globals(const Bytes& stream) {
    std::vector<Record> all = test::WalkRecords(stream);
    std::vector<Record> globals;
    for (const auto& r : all) {
        globals.push_back(r);
        if (r.type == kEofRecordType)
            break;
    }
    return globals;
}

TEST(GlobalsStream, TypicalWorkbook) {
    auto book = TXLSWorkbook::Create();
    test::FillLikeTheEngine(*book, {"Ref"}, {{"DOOR1", "D-01"}});
    const Bytes stream = test::WorkbookStream(*book);
    const auto globals = Globals(stream);
    std::vector<std::string> expected = {"BOF",          "CODEPAGE", "DSF",       "WINDOW1",
                                         "BACKUP",       "DATEMODE", "PRECISION", "REFMODE",
                                         "FNGROUPCOUNT", "BOOKBOOL"};
    expected.insert(expected.end(), 4, "FONT");
    expected.insert(expected.end(), 4, "FORMAT");
    expected.insert(expected.end(), 22, "XF");
    expected.insert(expected.end(), 6, "STYLE");
    for (const char* name : {"PALETTE", "COUNTRY", "RECALCID", "SST", "EXTSST", "BOUNDSHEET",
                             "SUPBOOK", "EXTERNSHEET", "EOF"})
        expected.push_back(name);
    EXPECT_EQ(test::Names(globals), expected);
    auto find = [&](std::uint16_t type) {
        return *std::find_if(globals.begin(), globals.end(),
                             [&](const Record& r) { return r.type == type; });
    };
    EXPECT_EQ(find(0x00FC).offset, 1292u);
    EXPECT_EQ(test::RecordBytes(find(0x0809)),
              Hex("09 08 10 00 00 06 05 00 AF 18 CD 07 C9 80 00 00 06 01 00 00"));
    EXPECT_EQ(test::RecordBytes(find(0x003D)),
              Hex("3D 00 12 00 00 00 00 00 BC 25 72 15 38 00 00 00 00 00 01 00 58 02"));
    EXPECT_EQ(test::RecordBytes(find(0x01C1)), Hex("C1 01 08 00 C1 01 00 00 FF FF FF 00"));
    EXPECT_EQ(test::RecordBytes(find(0x01AE)), Hex("AE 01 04 00 01 00 01 04"));
    EXPECT_EQ(test::RecordBytes(find(0x0017)), Hex("17 00 02 00 00 00"));
    // BOUNDSHEET points at the worksheet's BOF; the stream ends padded with zeros to 4096 bytes
    // (a shorter stream would sit in the mini stream).
    const Record boundSheet = find(kBoundSheetRecordType);
    EXPECT_EQ(boundSheet.data.size() + 4, 24u);
    std::uint32_t offset;
    std::memcpy(&offset, boundSheet.data.data(), 4);
    const std::size_t sheetStart = globals.back().offset + 4;
    EXPECT_EQ(offset, sheetStart);
    EXPECT_EQ(stream.size(), 4096u);
    EXPECT_TRUE(std::all_of(stream.begin() + sheetStart + 383, stream.end(),
                            [](std::uint8_t b) { return b == 0; }));
}

TEST(GlobalsStream, WithoutTextsAndWithTwoSheets) {
    auto book = TXLSWorkbook::Create();
    IXLSWorksheet& first = *book->Worksheets().Add();
    first.Cells()->Item(1, 1)->SetValue(1.0);
    IXLSWorksheet& second = *book->Worksheets().Add();
    second.Cells()->Item(2, 2)->SetValue(2.0);
    for (int save = 0; save < 2; ++save) {
        const Bytes stream = test::WorkbookStream(*book);
        const auto all = test::WalkRecords(stream);
        const auto names = test::Names(all);
        EXPECT_EQ(std::count(names.begin(), names.end(), "SST"), 0);
        EXPECT_EQ(std::count(names.begin(), names.end(), "EXTSST"), 0);
        const auto recalc = std::find(names.begin(), names.end(), "RECALCID");
        ASSERT_NE(recalc, names.end());
        EXPECT_EQ(*(recalc + 1), "BOUNDSHEET");
        EXPECT_EQ(*(recalc + 2), "BOUNDSHEET");
        std::vector<std::uint32_t> offsets;
        std::vector<std::size_t> bofs;
        for (const auto& r : all) {
            if (r.type == kBoundSheetRecordType) {
                std::uint32_t offset;
                std::memcpy(&offset, r.data.data(), 4);
                offsets.push_back(offset);
            }
            if (r.type == kBofRecordType && r.data[2] == 0x10)
                bofs.push_back(r.offset);
        }
        ASSERT_EQ(offsets.size(), 2u);
        EXPECT_EQ(std::vector<std::size_t>(offsets.begin(), offsets.end()), bofs);
        // WINDOW1 keeps counting one selected sheet; the second sheet is not selected.
        const auto window1 =
            std::find_if(all.begin(), all.end(), [](const Record& r) { return r.type == 0x003D; });
        EXPECT_EQ(window1->data[14], 1);
        const auto sheet2 = test::WalkRecords(stream, bofs[1]);
        const auto window2 = std::find_if(sheet2.begin(), sheet2.end(),
                                          [](const Record& r) { return r.type == 0x023E; });
        EXPECT_EQ(window2->data[0], 0xB6);
        EXPECT_EQ(window2->data[1], 0x04);
    }
}

TEST(GlobalsStream, AWorkbookWithoutSheetsGetsOne) {
    auto book = TXLSWorkbook::Create();
    const Bytes stream = test::WorkbookStream(*book);
    EXPECT_EQ(book->Worksheets().Count(), 1);
    EXPECT_EQ(test::SheetRecords(stream).size(), 28u);
}

} // namespace
} // namespace kelvora
