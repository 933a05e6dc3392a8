// Reads a .xls file with Apache POI's HSSFWorkbook and prints, as one JSON object on standard
// output, the worksheet names, every cell of the first worksheet as text, and the fill of one
// row (row index 0 unless given): the row's own format and each of its cells' formats, as
// [fill pattern, foreground colour index]; null where the row has no format of its own.
//   {"sheets": ["Sheet1"], "rows": [["Block Name", ...], ...],
//    "row_fill": [1, 26], "cell_fills": [[1, 26], ...]}
// A cell that is not a text is printed as "<TYPE value>" so that a comparison shows it. Every
// character outside printable ASCII is escaped, so the output does not depend on the locale.
//
// usage: java -cp CLASSPATH PoiRead.java FILE [FILLED_ROW]
import java.io.FileInputStream;
import java.io.InputStream;
import org.apache.poi.hssf.usermodel.HSSFCell;
import org.apache.poi.hssf.usermodel.HSSFCellStyle;
import org.apache.poi.hssf.usermodel.HSSFRow;
import org.apache.poi.hssf.usermodel.HSSFSheet;
import org.apache.poi.hssf.usermodel.HSSFWorkbook;
import org.apache.poi.ss.usermodel.CellType;

public class PoiRead {
    private static void text(StringBuilder out, String s) {
        out.append('"');
        for (int i = 0; i < s.length(); ++i) {
            char c = s.charAt(i);
            if (c == '"' || c == '\\')
                out.append('\\').append(c);
            else if (c < 0x20 || c > 0x7E)
                out.append(String.format("\\u%04x", (int)c));
            else
                out.append(c);
        }
        out.append('"');
    }

    private static void fill(StringBuilder out, HSSFCellStyle style) {
        out.append('[')
            .append(style.getFillPattern().getCode())
            .append(", ")
            .append(style.getFillForegroundColor())
            .append(']');
    }

    public static void main(String[] args) throws Exception {
        final int filledRow = args.length > 1 ? Integer.parseInt(args[1]) : 0;
        HSSFWorkbook book;
        try (InputStream in = new FileInputStream(args[0])) {
            book = new HSSFWorkbook(in);
        }
        StringBuilder out = new StringBuilder("{\"sheets\": [");
        for (int s = 0; s < book.getNumberOfSheets(); ++s) {
            if (s > 0)
                out.append(", ");
            text(out, book.getSheetName(s));
        }
        out.append("], \"rows\": [");
        HSSFSheet sheet = book.getNumberOfSheets() > 0 ? book.getSheetAt(0) : null;
        final int lastRow =
            sheet == null || sheet.getPhysicalNumberOfRows() == 0 ? -1 : sheet.getLastRowNum();
        for (int r = 0; r <= lastRow; ++r) {
            out.append(r > 0 ? ",\n[" : "\n[");
            HSSFRow row = sheet.getRow(r);
            for (int c = 0; row != null && c < row.getLastCellNum(); ++c) {
                if (c > 0)
                    out.append(',');
                HSSFCell cell = row.getCell(c);
                if (cell == null || cell.getCellType() == CellType.BLANK)
                    text(out, "");
                else if (cell.getCellType() == CellType.STRING)
                    text(out, cell.getStringCellValue());
                else
                    text(out, "<" + cell.getCellType() + " " + cell + ">");
            }
            out.append(']');
        }
        out.append("],\n\"row_fill\": ");
        HSSFRow row = sheet == null ? null : sheet.getRow(filledRow);
        if (row != null && row.isFormatted())
            fill(out, row.getRowStyle());
        else
            out.append("null");
        out.append(", \"cell_fills\": [");
        for (int c = 0; row != null && c < row.getLastCellNum(); ++c) {
            if (c > 0)
                out.append(", ");
            HSSFCell cell = row.getCell(c);
            if (cell == null)
                out.append("null");
            else
                fill(out, cell.getCellStyle());
        }
        out.append("]}\n");
        System.out.print(out);
        book.close();
    }
}
