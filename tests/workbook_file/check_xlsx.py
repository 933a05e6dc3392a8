"""Reads a .xlsx file with independent readers and compares it with the expected table.

usage: check_xlsx.py FILE EXPECTED.json [--soffice SOFFICE] [--ssconvert SSCONVERT]

EXPECTED.json: {"rows": [[text, ...], ...], "widths": {"A": 13.0, ...} (optional),
                "numbers": [[row, column], ...] (optional: cells holding the number their
                text gives; CSV readers compare the value),
                "sheets": [name, ...] (optional, default ["Sheet1"]: the worksheets; the rows
                are those of the first)}
Checks: the file is a sound zip package with one worksheet; openpyxl reads every cell as the
expected text, row 1 frozen (A2), a filter over the whole table, row 1 and each of its cells
filled solid FFFFCC, and the column widths given (to within one character); LibreOffice and
Gnumeric's ssconvert (when given) convert it to the same table as CSV, ssconvert with nothing
on standard error. openpyxl and ssconvert show a text as stored, its _xHHHH_ escapes as they
are; LibreOffice decodes them. Prints what differs and exits 1.
"""
import csv
import json
import os
import re
import subprocess
import sys
import tempfile
import zipfile

import openpyxl
from openpyxl.utils import get_column_letter

FILL = "FFFFFFCC"


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def stored(text):
    """A text as a worksheet stores it: escapes behind _x005F_, then characters XML cannot
    carry as _xHHHH_."""
    text = re.sub(r"(_x[0-9A-Fa-f]{4}_)", r"_x005F\1", text)
    return re.sub(r"[\x00-\x08\x0b-\x1f\ufffe\uffff]", lambda m: "_x%04X_" % ord(m.group()), text)


def table_width(rows):
    """Columns of the table: every title, and every field up to the last one with a text."""
    width = len(rows[0]) if rows else 0
    for row in rows[1:]:
        filled = [c for c, text in enumerate(row) if text != ""]
        if filled:
            width = max(width, filled[-1] + 1)
    return width


def padded(rows, width):
    return [list(row[:width]) + [""] * (width - len(row[:width])) for row in rows]


def check_package(path, sheets):
    with zipfile.ZipFile(path) as package:
        bad = package.testzip()
        if bad is not None:
            fail("zip member %s is damaged" % bad)
        parts = sorted(n for n in package.namelist() if n.startswith("xl/worksheets/sheet"))
        if parts != sorted("xl/worksheets/sheet%d.xml" % (k + 1) for k in range(len(sheets))):
            fail("worksheets %r" % parts)


def check_openpyxl(path, rows, widths, numbers, sheets):
    book = openpyxl.load_workbook(path)
    if book.sheetnames != sheets:
        fail("openpyxl: sheets %r, expected %r" % (book.sheetnames, sheets))
    sheet = book.worksheets[0]
    width = table_width(rows)
    if sheet.max_row != len(rows):
        fail("openpyxl: %d rows, expected %d" % (sheet.max_row, len(rows)))
    if sheet.max_column > width:
        fail("openpyxl: %d columns, expected %d" % (sheet.max_column, width))
    for r, (got, want) in enumerate(zip(sheet.iter_rows(values_only=True), padded(rows, width))):
        got = list(got) + [None] * (width - len(got))
        for c, (value, text) in enumerate(zip(got, want)):
            if text == "" and value is None:
                continue
            if (r, c) in numbers:
                if isinstance(value, (int, float)) and value == float(text):
                    continue
                fail("openpyxl: cell %s%d is %r, expected the number %s" % (
                    get_column_letter(c + 1), r + 1, value, text))
            if not isinstance(value, str) or value != stored(text):
                fail("openpyxl: cell %s%d is %r, expected %r" % (
                    get_column_letter(c + 1), r + 1, str(value)[:80], stored(text)[:80]))
    if sheet.freeze_panes != "A2":
        fail("openpyxl: frozen at %r, expected A2" % sheet.freeze_panes)
    ref = "A1:%s%d" % (get_column_letter(width), len(rows))
    if sheet.auto_filter.ref != ref:
        fail("openpyxl: filter over %r, expected %r" % (sheet.auto_filter.ref, ref))
    title = sheet.row_dimensions[1]
    if title.fill.patternType != "solid" or title.fill.fgColor.rgb != FILL:
        fail("openpyxl: row 1 filled %r %r" % (title.fill.patternType, title.fill.fgColor.rgb))
    for c in range(1, len(rows[0]) + 1):
        fill = sheet.cell(1, c).fill
        if fill.patternType != "solid" or fill.fgColor.rgb != FILL:
            fail("openpyxl: cell %s1 filled %r %r" % (
                get_column_letter(c), fill.patternType, fill.fgColor.rgb))
    for letter, want in (widths or {}).items():
        got = sheet.column_dimensions[letter].width
        if not want <= got < want + 1:
            fail("openpyxl: column %s is %r wide, expected %r" % (letter, got, want))


def read_csv(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


def compare(reader, got, rows, width, numbers):
    """CSV holds no types: a number cell must give a text of its value."""
    expected = padded(rows, width)
    got = padded(got, width)
    for r, c in numbers:
        if r < len(got):
            try:
                if float(got[r][c]) == float(expected[r][c]):
                    got[r][c] = expected[r][c]
            except ValueError:
                pass
    if len(got) != len(expected):
        fail("%s: %d rows, expected %d" % (reader, len(got), len(expected)))
    for r, (g, e) in enumerate(zip(got, expected)):
        if g != e:
            for c, (a, b) in enumerate(zip(g, e)):
                if a != b:
                    fail("%s: row %d column %d is %r, expected %r" % (
                        reader, r + 1, c + 1, a[:80], b[:80]))


def check_soffice(path, rows, soffice, work, numbers):
    profile = "file://" + os.path.join(work, "profile")
    result = subprocess.run(
        [soffice, "--headless", "-env:UserInstallation=" + profile,
         "--infilter=Calc MS Excel 2007 XML",
         "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1",
         "--outdir", work, path],
        capture_output=True, text=True, timeout=900)
    out = os.path.join(work, os.path.splitext(os.path.basename(path))[0] + ".csv")
    if not os.path.exists(out):
        fail("LibreOffice did not convert the file: " + result.stderr.strip())
    compare("LibreOffice", read_csv(out), rows, table_width(rows), numbers)


def check_ssconvert(path, rows, ssconvert, work, numbers, sheets):
    out = os.path.join(work, "gnumeric.csv")
    # Of several worksheets ssconvert converts the last one unless told.
    first = ["-O", "sheet=" + sheets[0]] if len(sheets) > 1 else []
    result = subprocess.run(
        [ssconvert, "--export-type=Gnumeric_stf:stf_csv"] + first + [path, out],
        capture_output=True, text=True, timeout=900, env=dict(os.environ, HOME=work))
    if result.returncode != 0 or not os.path.exists(out):
        fail("ssconvert did not convert the file: " + result.stderr.strip())
    if result.stderr.strip():
        fail("ssconvert warned: " + result.stderr.strip()[:400])
    compare("ssconvert", read_csv(out), [[stored(t) for t in row] for row in rows],
            table_width(rows), numbers)


def main():
    path, expected_path = sys.argv[1], sys.argv[2]
    options = dict(zip(sys.argv[3::2], sys.argv[4::2]))
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    rows = expected["rows"]
    numbers = frozenset(tuple(cell) for cell in expected.get("numbers", []))
    sheets = expected.get("sheets", ["Sheet1"])
    check_package(path, sheets)
    check_openpyxl(path, rows, expected.get("widths"), numbers, sheets)
    with tempfile.TemporaryDirectory(prefix="kelvora-xlsx-") as work:
        if "--soffice" in options:
            check_soffice(path, rows, options["--soffice"], work, numbers)
        if "--ssconvert" in options:
            check_ssconvert(path, rows, options["--ssconvert"], work, numbers, sheets)
    print("OK")


if __name__ == "__main__":
    main()
