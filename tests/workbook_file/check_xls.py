"""Reads a .xls file with independent readers and compares it with the expected table.

usage: check_xls.py FILE EXPECTED.json [--soffice SOFFICE]

EXPECTED.json: {"rows": [[text, ...], ...], "filled_row": 0 or null}
Checks: olefile sees one stream "Workbook" whose length is a multiple of 512; xlrd
(formatting_info=True) reads every cell's text, and every cell of the filled row and the row
itself carry a solid fill of palette entry 26; LibreOffice (when given) converts the file to
the same table. Prints what differs and exits 1.
"""
import csv
import json
import os
import subprocess
import sys
import tempfile

import olefile
import xlrd


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def check_olefile(path):
    if not olefile.isOleFile(path):
        fail("not a compound file")
    with olefile.OleFileIO(path) as ole:
        streams = ole.listdir(streams=True, storages=True)
        if streams != [["Workbook"]]:
            fail("compound file holds %r, not only the Workbook stream" % streams)
        size = ole.get_size("Workbook")
        if size % 512 != 0:
            fail("Workbook stream length %d is not a multiple of 512" % size)


def check_fill(book, sheet, xf_index, where):
    xf = book.xf_list[xf_index]
    if xf.background.fill_pattern != 1 or xf.background.pattern_colour_index != 26:
        fail("%s: fill pattern %d colour %d, expected solid 26" % (
            where, xf.background.fill_pattern, xf.background.pattern_colour_index))


def check_xlrd(path, rows, filled_row):
    book = xlrd.open_workbook(path, formatting_info=True)
    if book.nsheets != 1:
        fail("%d sheets" % book.nsheets)
    sheet = book.sheet_by_index(0)
    if sheet.name != "Sheet1":
        fail("sheet name %r" % sheet.name)
    if sheet.nrows != len(rows):
        fail("xlrd: %d rows, expected %d" % (sheet.nrows, len(rows)))
    for r, row in enumerate(rows):
        for c, text in enumerate(row):
            got = sheet.cell_value(r, c) if c < sheet.row_len(r) else ""
            if got != text:
                fail("xlrd: cell (%d, %d) is %r, expected %r" % (r, c, got[:80], text[:80]))
        if sheet.row_len(r) > len(row) and any(
                sheet.cell_value(r, c) != "" for c in range(len(row), sheet.row_len(r))):
            fail("xlrd: row %d has cells beyond the expected %d" % (r, len(row)))
    if filled_row is not None:
        info = sheet.rowinfo_map.get(filled_row)
        if info is None:
            fail("row %d has no row record" % filled_row)
        check_fill(book, sheet, info.xf_index, "row %d" % filled_row)
        for c in range(len(rows[filled_row])):
            check_fill(book, sheet, sheet.cell_xf_index(filled_row, c),
                       "cell (%d, %d)" % (filled_row, c))


def check_soffice(path, rows, soffice):
    with tempfile.TemporaryDirectory(prefix="kelvora-lo-") as work:
        profile = "file://" + os.path.join(work, "profile")
        result = subprocess.run(
            [soffice, "--headless", "-env:UserInstallation=" + profile,
             "--infilter=MS Excel 97",
             "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1",
             "--outdir", work, path],
            capture_output=True, text=True, timeout=300)
        out = os.path.join(work, os.path.splitext(os.path.basename(path))[0] + ".csv")
        if not os.path.exists(out):
            fail("LibreOffice did not convert the file: " + result.stderr.strip())
        with open(out, newline="", encoding="utf-8") as f:
            got = list(csv.reader(f))
    width = max((len(r) for r in rows), default=0)
    expected = [row + [""] * (width - len(row)) for row in rows]
    got = [row + [""] * (width - len(row)) for row in got]
    if len(got) != len(expected):
        fail("LibreOffice: %d rows, expected %d" % (len(got), len(expected)))
    for r, (g, e) in enumerate(zip(got, expected)):
        if g != e:
            fail("LibreOffice: row %d is %r, expected %r" % (r, g[:8], e[:8]))


def main():
    path, expected_path = sys.argv[1], sys.argv[2]
    soffice = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--soffice" else None
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    check_olefile(path)
    check_xlrd(path, expected["rows"], expected.get("filled_row"))
    if soffice:
        check_soffice(path, expected["rows"], soffice)
    print("OK")


if __name__ == "__main__":
    main()
