/* Reads a .xls file with FreeXL and prints, as one JSON object on standard output, the BIFF
 * version, the worksheet names and every cell of the first worksheet as text:
 *   {"biff": 8, "sheets": ["Sheet1"], "rows": [["Block Name", ...], ...]}
 * A number cell is printed as a JSON number; any other cell that is not a text as "<type N>"
 * so that a comparison shows it. Exits 1 with the FreeXL error code on standard error when the
 * file cannot be read.
 *
 * usage: freexl_read FILE
 */
#include <freexl.h>

#include <stdio.h>

static void print_text(const char* text) {
    putchar('"');
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        if (*p == '"' || *p == '\\')
            printf("\\%c", *p);
        else if (*p < 0x20)
            printf("\\u%04x", *p);
        else
            putchar(*p);
    }
    putchar('"');
}

static int failed(const char* what, int code) {
    fprintf(stderr, "FreeXL: %s failed with error %d\n", what, code);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const void* handle = NULL;
    int rc = freexl_open(argv[1], &handle);
    if (rc != FREEXL_OK)
        return failed("freexl_open", rc);
    if (handle == NULL) { // a stream it cannot parse; freexl_open still says FREEXL_OK
        fprintf(stderr, "FreeXL: freexl_open found no workbook\n");
        return 1;
    }
    unsigned int biff = 0;
    unsigned int sheets = 0;
    if ((rc = freexl_get_info(handle, FREEXL_BIFF_VERSION, &biff)) != FREEXL_OK)
        return failed("freexl_get_info (version)", rc);
    if ((rc = freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets)) != FREEXL_OK)
        return failed("freexl_get_info (sheet count)", rc);
    printf("{\"biff\": %u, \"sheets\": [", biff);
    for (unsigned short s = 0; s < sheets; ++s) {
        const char* name = NULL;
        if ((rc = freexl_get_worksheet_name(handle, s, &name)) != FREEXL_OK)
            return failed("freexl_get_worksheet_name", rc);
        if (s > 0)
            putchar(',');
        print_text(name ? name : "");
    }
    printf("], \"rows\": [");
    if (sheets > 0) {
        unsigned int rows = 0;
        unsigned short columns = 0;
        if ((rc = freexl_select_active_worksheet(handle, 0)) != FREEXL_OK)
            return failed("freexl_select_active_worksheet", rc);
        if ((rc = freexl_worksheet_dimensions(handle, &rows, &columns)) != FREEXL_OK)
            return failed("freexl_worksheet_dimensions", rc);
        for (unsigned int r = 0; r < rows; ++r) {
            fputs(r ? ",\n[" : "\n[", stdout);
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue cell;
                if ((rc = freexl_get_cell_value(handle, r, c, &cell)) != FREEXL_OK)
                    return failed("freexl_get_cell_value", rc);
                if (c > 0)
                    putchar(',');
                if (cell.type == FREEXL_CELL_TEXT || cell.type == FREEXL_CELL_SST_TEXT)
                    print_text(cell.value.text_value);
                else if (cell.type == FREEXL_CELL_NULL)
                    print_text("");
                else if (cell.type == FREEXL_CELL_INT)
                    printf("%d", cell.value.int_value);
                else if (cell.type == FREEXL_CELL_DOUBLE)
                    printf("%.17g", cell.value.double_value);
                else
                    printf("\"<type %d>\"", cell.type);
            }
            putchar(']');
        }
    }
    printf("]}\n");
    freexl_close(handle);
    return 0;
}
