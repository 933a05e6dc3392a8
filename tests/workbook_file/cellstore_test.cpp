// The cell store, storing values and the object model's fill.
#include "support.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

class SheetTest : public ::testing::Test {
protected:
    std::shared_ptr<TXLSWorkbook> book = TXLSWorkbook::Create();
    IXLSWorksheet& sheet = *book->Worksheets().Add();
    TXLSCellHeap& store = sheet.CellStore();

    const TXLSCellRef& Set(int row, int column, TXLSValue value) {
        sheet.Cells()->Item(row, column)->SetValue(value);
        return *store.FindCell(row - 1, column - 1);
    }
    std::u16string TextOf(const TXLSCellRef& cell) {
        return book->Strings().StringAt(cell.stringId);
    }
    std::u16string XfKey(std::int32_t xf) { return book->XFs().KeyAt(xf == 0 ? 15 : xf); }
};

TEST_F(SheetTest, UsedAreaGrowsWithEveryCellMade) {
    EXPECT_TRUE(store.Empty());
    store.GetCell(5, 3);
    TXLSUsedArea a = store.UsedArea();
    EXPECT_EQ(std::vector<int>(
                  {a.firstRow, a.lastRow, a.rowCount, a.firstColumn, a.lastColumn, a.columnCount}),
              std::vector<int>({5, 5, 1, 3, 3, 1}));
    store.GetCell(2, 7);
    a = store.UsedArea();
    EXPECT_EQ(std::vector<int>(
                  {a.firstRow, a.lastRow, a.rowCount, a.firstColumn, a.lastColumn, a.columnCount}),
              std::vector<int>({2, 5, 4, 3, 7, 5}));
    // A cell that becomes blank still counts; lookups make nothing.
    EXPECT_EQ(store.FindCell(0, 0), nullptr);
    EXPECT_EQ(store.FindCell(65535, 255), nullptr);
    TXLSCellRef& corner = store.GetCell(65535, 255);
    EXPECT_EQ(store.FindCell(65535, 255), &corner);
    EXPECT_EQ(store.UsedArea().lastRow, 65535);
    EXPECT_EQ(store.UsedArea().lastColumn, 255);
}

TEST_F(SheetTest, NewCellsTakeTheColumnFormatBeforeTheRowFormat) {
    sheet.Rows().SetRowXF(4, 40);
    EXPECT_EQ(store.GetCell(4, 1).xf, 40);
    sheet.Columns().SetColumnXF(2, 30);
    EXPECT_EQ(store.GetCell(4, 2).xf, 30);
    sheet.Rows().SetRowHeight(6, 20);
    EXPECT_EQ(store.GetCell(6, 1).xf, 15); // the XF of a new row entry
    EXPECT_EQ(store.GetCell(7, 1).xf, 0);
    TXLSEffectiveXF effective = EffectiveXF(store, sheet.Columns(), sheet.Rows(), 4, 9);
    EXPECT_EQ(effective.xf, 40);
    EXPECT_FALSE(effective.own);
}

TEST_F(SheetTest, TextStoringRules) {
    EXPECT_EQ(Set(1, 1, std::string("")).kind, TXLSCellKind::Blank);
    const TXLSCellRef& apostrophe = Set(1, 2, std::string("'"));
    EXPECT_EQ(apostrophe.kind, TXLSCellKind::Text);
    EXPECT_EQ(TextOf(apostrophe), u"");
    EXPECT_EQ(TextOf(Set(1, 3, std::string("'=A1"))), u"=A1");
    // Formulas are never compiled: texts beginning with "=" stay whole.
    EXPECT_EQ(TextOf(Set(1, 4, std::string("="))), u"=");
    const TXLSCellRef& formula = Set(1, 5, std::string("=SUM(A1:A3)"));
    EXPECT_EQ(formula.kind, TXLSCellKind::Text);
    EXPECT_EQ(TextOf(formula), u"=SUM(A1:A3)");
    // Never turned into numbers; blanks kept.
    const TXLSCellRef& number = Set(1, 6, std::string(" 12 "));
    EXPECT_EQ(number.kind, TXLSCellKind::Text);
    EXPECT_EQ(TextOf(number), u" 12 ");
}

TEST_F(SheetTest, ReplacingATextGivesBackItsReference) {
    const TXLSCellRef& cell = Set(1, 1, std::string("a"));
    const std::int32_t a = cell.stringId;
    Set(2, 1, std::string("a"));
    EXPECT_EQ(book->Strings().ReferenceCount(a), 2);
    Set(1, 1, std::string("b"));
    EXPECT_EQ(book->Strings().ReferenceCount(a), 1);
    EXPECT_EQ(TextOf(cell), u"b");
    Set(1, 1, TXLSValue{});
    EXPECT_EQ(cell.kind, TXLSCellKind::Blank);
    EXPECT_EQ(book->Strings().DistinctTexts(), 1u);
}

TEST_F(SheetTest, OtherValueKinds) {
    EXPECT_EQ(Set(1, 1, 2.5).kind, TXLSCellKind::Number);
    const TXLSCellRef& flag = Set(1, 2, true);
    EXPECT_EQ(flag.kind, TXLSCellKind::Boolean);
    EXPECT_EQ(flag.number, 1);
    const TXLSCellRef& date = Set(1, 3, TXLSDate{40000});
    EXPECT_EQ(date.kind, TXLSCellKind::Date);
    EXPECT_EQ(date.number, 40000);
}

TEST_F(SheetTest, LineFeedSwitchesWrappingOnAndItStays) {
    const TXLSCellRef& cell = Set(3, 3, std::string("two\nlines"));
    ASSERT_GT(cell.xf, 20);
    const std::u16string wrapped = XfKey(cell.xf);
    std::u16string expected = XfKey(15);
    expected.replace(13, 2, u"28");
    expected.replace(41, 2, u"04");
    EXPECT_EQ(wrapped, expected);
    Set(3, 3, std::string("one line"));
    EXPECT_EQ(XfKey(cell.xf), expected);
    EXPECT_EQ(book->XFs().ReferenceCount(cell.xf), 1);
}

TEST(Conversions, WidthsAndHeights) {
    EXPECT_EQ(WidthToUnits(8.43), 2340);
    EXPECT_EQ(WidthToUnits(0.5), 230);
    EXPECT_EQ(WidthToUnits(20), 20 * 256 + 182);
    EXPECT_DOUBLE_EQ(UnitsToWidth(2340), 8.43);
    EXPECT_DOUBLE_EQ(UnitsToWidth(230), 0.5);
    EXPECT_EQ(PointsToTwips(12.75), 255);
    EXPECT_EQ(PointsToTwips(10.1), 200);
    EXPECT_EQ(PointsToTwips(10.125), 200); // half a quarter rounds to the even quarter
    EXPECT_DOUBLE_EQ(TwipsToPoints(255), 12.75);
    TXLSRowInfoList rows;
    rows.SetRowHeight(3, 15);
    EXPECT_DOUBLE_EQ(rows.RowHeight(3), 15);
    rows.SetRowHidden(3, true);
    EXPECT_EQ(rows.RowHeight(3), 0);
    EXPECT_DOUBLE_EQ(rows.RowHeight(4), 12.75);
    TXLSColumnInfoList columns;
    columns.SetColumnLevel(4, 1);   // level 1 on a column without entry makes none
    columns.SetColumnLevel(5, 9);   // ignored
    columns.SetColumnWidth(300, 5); // outside the sheet
    EXPECT_EQ(columns.Count(), 0);
    EXPECT_DOUBLE_EQ(columns.ColumnWidth(7), 8.43);
}

TEST(Worksheets, NamingSelectionAndPositions) {
    auto book = TXLSWorkbook::Create();
    IXLSWorkSheets& sheets = book->Worksheets();
    EXPECT_EQ(sheets.Count(), 0);
    IXLSWorksheet* first = sheets.Add();
    EXPECT_EQ(first->Name(), u"Sheet1");
    EXPECT_EQ(first->Position(), 1);
    EXPECT_TRUE(first->Selected());
    EXPECT_EQ(sheets.Active(), first);
    EXPECT_TRUE(first->SetName(u"Sheet2"));
    IXLSWorksheet* second = sheets.Add();
    EXPECT_EQ(second->Name(), u"Sheet3");
    EXPECT_FALSE(second->Selected());
    EXPECT_EQ(second->Id(), 2);
    EXPECT_FALSE(second->SetName(u"Sheet2"));
    EXPECT_TRUE(second->SetName(u"sheet2")); // case counts
    EXPECT_FALSE(second->SetName(u"a/b"));
    EXPECT_FALSE(second->SetName(std::u16string(32, u'x')));
    EXPECT_TRUE(second->SetName(std::u16string(31, u'x')));
    EXPECT_EQ(sheets.Item(2), second);
    EXPECT_EQ(sheets.Item(3), nullptr);
}

TEST_F(SheetTest, ItemStaysInsideTheWorksheet) {
    auto cells = sheet.Cells();
    EXPECT_EQ(cells, sheet.Cells());
    EXPECT_NE(cells->Item(65536, 256), nullptr);
    EXPECT_EQ(cells->Item(65537, 1), nullptr);
    EXPECT_EQ(cells->Item(1, 257), nullptr);
    EXPECT_EQ(cells->Item(0, 1), nullptr);
    EXPECT_EQ(cells->Item(1, 0), nullptr);
    // Counted from the range's top-left cell: B2 then D3.
    cells->Item(2, 2)->Item(2, 3)->SetValue(std::string("x"));
    EXPECT_NE(store.FindCell(2, 3), nullptr);
    cells->Item(65536, 256)->SetValue(std::string("corner"));
    EXPECT_NE(store.FindCell(65535, 255), nullptr);
}

TEST_F(SheetTest, RowFillAsTheEngineDoesIt) {
    Set(1, 1, std::string("Block Name"));
    sheet.Cells()->EntireRow()->Item(1)->Interior()->SetColorIndex(19);
    Set(1, 2, std::string("Ref"));
    const TXLSRowInfo* row = sheet.Rows().Find(0);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->formatted);
    std::u16string filled = XfKey(15);
    filled.replace(35, 6, u"01201A");
    filled.replace(41, 2, u"10");
    EXPECT_EQ(XfKey(row->xf), filled);
    EXPECT_EQ(store.FindCell(0, 0)->xf, row->xf);
    EXPECT_EQ(store.FindCell(0, 1)->xf, row->xf);
    EXPECT_EQ(store.FindCell(0, 2), nullptr);
    EXPECT_EQ(book->XFs().ReferenceCount(row->xf), 3); // the row and two cells
    EXPECT_EQ(Set(2, 1, std::string("data")).xf, 0);
}

TEST_F(SheetTest, FillColourNumbers) {
    Set(1, 1, std::string("x"));
    auto interior = sheet.Cells()->Item(1, 1)->Interior();
    interior->SetColorIndex(57);
    interior->SetColorIndex(-1);
    EXPECT_EQ(store.FindCell(0, 0)->xf, 0);
    interior->SetColorIndex(3);
    const std::int32_t red = store.FindCell(0, 0)->xf;
    EXPECT_EQ(XfKey(red).substr(35, 6), u"01200A");
    interior->SetColorIndex(0); // no fill
    EXPECT_EQ(XfKey(store.FindCell(0, 0)->xf).substr(35, 6), u"0020C0");
    EXPECT_EQ(book->XFs().ReferenceCount(red), 0);
    interior->SetColorIndex(kColorIndexAutomatic);
    EXPECT_EQ(XfKey(store.FindCell(0, 0)->xf).substr(35, 6), u"012041");
}

TEST_F(SheetTest, EntireRowsMakeCellsInFormattedColumns) {
    sheet.Columns().SetColumnXF(
        4, book->XFs().DeriveXf(0, TXLSXfChange::WrapText, TXLSXfValue::Number(1), false));
    const std::int32_t columnXf = sheet.Columns().ColumnXF(4);
    Set(3, 2, std::string("b"));
    sheet.Cells()->EntireRow()->Item(3)->Interior()->SetColorIndex(19);
    const std::int32_t rowXf = sheet.Rows().RowXF(2);
    EXPECT_EQ(store.FindCell(2, 1)->xf, rowXf);
    const TXLSCellRef* made = store.FindCell(2, 4);
    ASSERT_NE(made, nullptr);
    EXPECT_NE(made->xf, rowXf); // wrap and fill
    EXPECT_EQ(XfKey(made->xf).substr(13, 2), u"28");
    EXPECT_EQ(XfKey(made->xf).substr(35, 6), u"01201A");
    EXPECT_EQ(store.FindCell(2, 3), nullptr);           // neither cell nor column entry
    EXPECT_EQ(book->XFs().ReferenceCount(columnXf), 1); // only the column holds it now
    EXPECT_EQ(book->XFs().ReferenceCount(made->xf), 1);
}

TEST_F(SheetTest, EntireColumnsAndWholeSheet) {
    Set(2, 2, std::string("b"));
    Set(5, 3, std::string("c"));
    // The whole sheet is entire columns: existing cells get the fill, no cell is made.
    sheet.Cells()->Interior()->SetColorIndex(19);
    EXPECT_EQ(sheet.Columns().Count(), 256);
    const std::int32_t filled = sheet.Columns().ColumnXF(0);
    EXPECT_EQ(store.FindCell(1, 1)->xf, filled);
    EXPECT_EQ(store.FindCell(4, 2)->xf, filled);
    EXPECT_EQ(store.FindCell(0, 0), nullptr);
    EXPECT_EQ(book->XFs().ReferenceCount(filled), 256 + 2);
    // A cell made later takes the column's format.
    EXPECT_EQ(Set(9, 9, std::string("z")).xf, filled);
}

} // namespace
} // namespace kelvora
