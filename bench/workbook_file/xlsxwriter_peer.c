/* The benchmark table written by libxlsxwriter in constant-memory mode (.xlsx). */
#include "table.h"

#include <xlsxwriter.h>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    lxw_workbook_options options = {.constant_memory = LXW_TRUE, .tmpdir = NULL};
    lxw_workbook* workbook = workbook_new_opt(argv[1], &options);
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, NULL);
    lxw_format* fill = workbook_add_format(workbook);
    format_set_bg_color(fill, 0xFFFFCC);
    char text[32];
    worksheet_write_string(sheet, 0, 0, "Block Name", fill);
    for (int c = 1; c < kBenchColumns; ++c) {
        snprintf(text, sizeof text, "Title %d", c);
        worksheet_write_string(sheet, 0, c, text, fill);
    }
    for (int r = 0; r < kBenchRows; ++r)
        for (int c = 0; c < kBenchColumns; ++c) {
            BenchText(text, sizeof text, r, c);
            worksheet_write_string(sheet, r + 1, c, text, NULL);
        }
    return workbook_close(workbook) == LXW_NO_ERROR ? 0 : 1;
}
