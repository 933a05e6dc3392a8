"""Reads a .xls file with independent readers and compares it with the expected table.

usage: check_xls.py FILE EXPECTED.json [--soffice SOFFICE] [--java JAVA --poi-classpath CP]
                    [--freexl-read PROGRAM] [--ssconvert SSCONVERT]

EXPECTED.json: {"rows": [[text, ...], ...], "filled_row": 0 or null,
                "numbers": [[row, column], ...] (optional),
                "sheets": [name, ...] (optional, default ["Sheet1"])}
The workbook must hold exactly the worksheets named; rows are those of the first one.
The cells listed under "numbers" must be number cells of the value their text gives, every
other cell a text (or empty); readers of CSV, which cannot tell them apart, compare the value.
Checks:
- olefile sees one stream "Workbook" whose length is a multiple of 512 of at least 4096 (a
  shorter one would sit in the mini stream), and every free directory entry links to no entry;
- xlrd (formatting_info=True) reads every cell's text, and every cell of the filled row and the
  row itself carry a solid fill of palette entry 26;
- Apache POI (HSSFWorkbook, through readers/PoiRead.java, which CMake compiles into the
  first folder of --poi-classpath) reads one worksheet "Sheet1", every cell's text, and
  reports fill pattern 1 (solid) with foreground colour index 26 for the filled row's own
  format and for each of its cells;
- FreeXL (readers/freexl_read.c) reads a BIFF8 workbook with one worksheet "Sheet1" and every
  cell's text;
- Gnumeric's ssconvert converts the file to CSV holding every cell's text, with nothing at
  all on its standard error (it reports damaged records there and still converts);
- LibreOffice, when given, converts the file to the same table.
The readers run side by side: POI, FreeXL, ssconvert and LibreOffice in their own processes
while olefile and xlrd run here. A reader whose option is missing or names no program
(CMake's "-NOTFOUND") is a failure: scripts/install-deps.sh installs them all. LibreOffice
alone is optional.

FreeXL joins a text spread over two records (SST and CONTINUE) but not over three or more:
it then gives the text cut short, without an error.
A text of at most 4,111 UTF-16 code units takes at most 8,222 bytes even uncompressed, less
than the 8,223 bytes a CONTINUE record holds after its option byte, so it spans at most two
records wherever it starts. When the expected table holds a longer text, FreeXL is skipped
and a line "NOTE: FreeXL skipped ..." is printed.

Prints what differs and exits 1; prints the notes and "OK" otherwise.
"""
import argparse
import concurrent.futures
import csv
import json
import os
import struct
import subprocess
import sys
import tempfile

import olefile
import xlrd

TITLE_FILL = [1, 26]  # solid pattern, palette entry 26
FREEXL_LONGEST_TEXT = 4111  # UTF-16 code units; see above
INSTALL_HINT = "install it (scripts/install-deps.sh)"


class Failure(Exception):
    pass


def fail(message):
    raise Failure(message)


def utf16_length(text):
    return len(text.encode("utf-16-le")) // 2


def shorten(value, limit=80):
    return value[:limit] + "..." if isinstance(value, str) and len(value) > limit else value


def missing(program):
    return not program or program.endswith("NOTFOUND")


def check_olefile(path):
    if not olefile.isOleFile(path):
        fail("not a compound file")
    with olefile.OleFileIO(path) as ole:
        streams = ole.listdir(streams=True, storages=True)
        if streams != [["Workbook"]]:
            fail("compound file holds %r, not only the Workbook stream" % streams)
        size = ole.get_size("Workbook")
        if size % 512 != 0 or size < 4096:
            fail("Workbook stream length %d is not a multiple of 512 of at least 4096" % size)
        # A free directory entry links to no entry: sibling and child ids all 0xFFFFFFFF.
        ole.directory_fp.seek(0)
        directory = ole.directory_fp.read()
        for index in range(len(directory) // 128):
            entry = directory[index * 128:(index + 1) * 128]
            links = struct.unpack_from("<III", entry, 0x44)
            if entry[0x42] == 0 and links != (0xFFFFFFFF,) * 3:
                fail("free directory entry %d links to %r" % (index, links))


def check_fill(book, sheet, xf_index, where):
    xf = book.xf_list[xf_index]
    if xf.background.fill_pattern != 1 or xf.background.pattern_colour_index != 26:
        fail("%s: fill pattern %d colour %d, expected solid 26" % (
            where, xf.background.fill_pattern, xf.background.pattern_colour_index))


def number_of(value):
    """The value of a number cell as a reader gives it (Apache POI as "<NUMERIC 12.0>"), or
    None for a text."""
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        return float(value)
    if isinstance(value, str) and value.startswith("<NUMERIC ") and value.endswith(">"):
        return float(value[len("<NUMERIC "):-1])
    return None


def csv_number(text):
    try:
        return float(text)
    except ValueError:
        return None


def check_xlrd(path, rows, filled_row, numbers, sheets):
    book = xlrd.open_workbook(path, formatting_info=True)
    if book.sheet_names() != sheets:
        fail("xlrd: worksheets %r, expected %r" % (book.sheet_names(), sheets))
    sheet = book.sheet_by_index(0)
    if sheet.nrows != len(rows):
        fail("xlrd: %d rows, expected %d" % (sheet.nrows, len(rows)))
    for r, row in enumerate(rows):
        for c, text in enumerate(row):
            got = sheet.cell_value(r, c) if c < sheet.row_len(r) else ""
            if (r, c) in numbers:
                if sheet.cell_type(r, c) != xlrd.XL_CELL_NUMBER or got != float(text):
                    fail("xlrd: cell (%d, %d) is %r, expected the number %s" % (r, c, got, text))
            elif got != text:
                fail("xlrd: cell (%d, %d) is %r, expected %r" % (r, c, shorten(got),
                                                                shorten(text)))
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


def compare_table(reader, got, rows, numbers=frozenset(), typed=True):
    """Compares a reader's rows with the expected ones; missing trailing cells count as empty,
    and so do rows a reader leaves out at the end when they are empty. The cells listed in
    numbers hold numbers: a typed reader must give a number cell of that value, the others
    (CSV) a text of that value."""
    if numbers:
        read = csv_number if not typed else number_of
        got = [list(row) for row in got]
        for r, c in numbers:
            if r < len(got) and c < len(got[r]):
                value = got[r][c]
                got[r][c] = rows[r][c] if read(value) == float(rows[r][c]) else "<%r>" % value
    width = max([len(r) for r in rows] + [len(r) for r in got] + [0])
    expected = [row + [""] * (width - len(row)) for row in rows]
    got = [row + [""] * (width - len(row)) for row in got]
    while len(got) > len(expected) and not any(got[-1]):
        got.pop()
    while len(expected) > len(got) and not any(expected[-1]):
        expected.pop()
    if len(got) != len(expected):
        fail("%s: %d rows, expected %d" % (reader, len(got), len(expected)))
    for r, (g, e) in enumerate(zip(got, expected)):
        if g != e:
            c = next(c for c in range(width) if g[c] != e[c])
            fail("%s: cell (%d, %d) is %r, expected %r" % (reader, r, c, shorten(g[c]),
                                                          shorten(e[c])))


def run(command, timeout=300):
    return subprocess.run(command, capture_output=True, timeout=timeout)


def json_output(reader, result):
    if result.returncode != 0:
        fail("%s could not read the file (exit %d): %s" % (
            reader, result.returncode, result.stderr.decode("utf-8", "replace").strip()[:1000]))
    try:
        return json.loads(result.stdout.decode("utf-8"))
    except ValueError as e:
        fail("%s: unreadable output (%s): %r" % (reader, e, result.stdout[:200]))


def run_poi(path, java, classpath, filled_row):
    if missing(java) or missing(classpath):
        fail("Apache POI cannot run (java %r, class path %r): %s" % (java, classpath,
                                                                    INSTALL_HINT))
    row = str(filled_row if filled_row is not None else 0)
    return run([java, "-XX:TieredStopAtLevel=1", "-cp", classpath, "PoiRead", path, row])


def check_poi(result, rows, filled_row, numbers, sheets):
    got = json_output("Apache POI", result)
    if got["sheets"] != sheets:
        fail("Apache POI: worksheets %r, expected %r" % (got["sheets"], sheets))
    compare_table("Apache POI", got["rows"], rows, numbers)
    if filled_row is None:
        return
    if got["row_fill"] != TITLE_FILL:
        fail("Apache POI: row %d has fill %r, expected %r" % (filled_row, got["row_fill"],
                                                           TITLE_FILL))
    fills = got["cell_fills"]
    for c in range(len(rows[filled_row])):
        fill = fills[c] if c < len(fills) else None
        if fill != TITLE_FILL:
            fail("Apache POI: cell (%d, %d) has fill %r, expected %r" % (filled_row, c, fill,
                                                                      TITLE_FILL))


def freexl_skip_reason(rows):
    longest = max((utf16_length(t) for row in rows for t in row), default=0)
    if longest > FREEXL_LONGEST_TEXT:
        return ("a text of %d UTF-16 code units may span three records (FreeXL joins at most "
                "two; safe up to %d)" % (longest, FREEXL_LONGEST_TEXT))
    return None


def run_freexl(path, program):
    if missing(program):
        fail("FreeXL reader not built (%r): install libfreexl-dev (scripts/install-deps.sh) "
             "and configure again" % program)
    return run([program, path])


def check_freexl(result, rows, numbers, sheets):
    got = json_output("FreeXL", result)
    if got["biff"] != 8:
        fail("FreeXL: BIFF version %r, expected 8" % got["biff"])
    if got["sheets"] != sheets:
        fail("FreeXL: worksheets %r, expected %r" % (got["sheets"], sheets))
    compare_table("FreeXL", got["rows"], rows, numbers)


def read_csv(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


def run_ssconvert(path, ssconvert, sheets):
    if missing(ssconvert):
        fail("Gnumeric's ssconvert not found (%r): %s" % (ssconvert, INSTALL_HINT))
    with tempfile.TemporaryDirectory(prefix="kelvora-gnm-") as work:
        out = os.path.join(work, "out.csv")
        # Of several worksheets ssconvert converts the last one unless told.
        first = ["-O", "sheet=" + sheets[0]] if len(sheets) > 1 else []
        result = run([ssconvert, "--import-type=Gnumeric_Excel:excel",
                      "--export-type=Gnumeric_stf:stf_csv"] + first + [path, out])
        return result, read_csv(out) if os.path.exists(out) else None


def check_ssconvert(outcome, rows, numbers):
    result, got = outcome
    stderr = result.stderr.decode("utf-8", "replace").strip()
    if result.returncode != 0 or got is None:
        fail("ssconvert did not convert the file (exit %d): %s" % (result.returncode,
                                                                   stderr[-2000:]))
    if stderr:
        fail("ssconvert reported: " + stderr[-2000:])
    compare_table("ssconvert", got, rows, numbers, typed=False)


def run_soffice(path, soffice):
    with tempfile.TemporaryDirectory(prefix="kelvora-lo-") as work:
        profile = "file://" + os.path.join(work, "profile")
        result = run([soffice, "--headless", "-env:UserInstallation=" + profile,
                      "--infilter=MS Excel 97",
                      "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1",
                      "--outdir", work, path])
        out = os.path.join(work, os.path.splitext(os.path.basename(path))[0] + ".csv")
        return result, read_csv(out) if os.path.exists(out) else None


def check_soffice(outcome, rows, numbers):
    result, got = outcome
    if got is None:
        fail("LibreOffice did not convert the file: " +
             result.stderr.decode("utf-8", "replace").strip())
    compare_table("LibreOffice", got, rows, numbers, typed=False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("expected")
    parser.add_argument("--soffice")
    parser.add_argument("--java")
    parser.add_argument("--poi-classpath")
    parser.add_argument("--freexl-read")
    parser.add_argument("--ssconvert")
    args = parser.parse_args()
    with open(args.expected, encoding="utf-8") as f:
        expected = json.load(f)
    rows, filled_row = expected["rows"], expected.get("filled_row")
    numbers = frozenset(tuple(cell) for cell in expected.get("numbers", []))
    sheets = expected.get("sheets", ["Sheet1"])
    path = args.file
    lines = []
    skip_freexl = freexl_skip_reason(rows)
    if skip_freexl:
        lines.append("NOTE: FreeXL skipped: " + skip_freexl)

    def attempt(name, check):
        try:
            check()
        except Failure as e:
            lines.append("FAIL: " + str(e))
        except Exception as e:  # the reader refused the file or did not answer
            lines.append("FAIL: %s: %s: %s" % (name, type(e).__name__, e))

    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        jobs = [("Apache POI", pool.submit(run_poi, path, args.java, args.poi_classpath,
                                           filled_row),
                 lambda r: check_poi(r, rows, filled_row, numbers, sheets)),
                ("ssconvert", pool.submit(run_ssconvert, path, args.ssconvert, sheets),
                 lambda r: check_ssconvert(r, rows, numbers))]
        if not skip_freexl:
            jobs.append(("FreeXL", pool.submit(run_freexl, path, args.freexl_read),
                         lambda r: check_freexl(r, rows, numbers, sheets)))
        if args.soffice:
            jobs.append(("LibreOffice", pool.submit(run_soffice, path, args.soffice),
                         lambda r: check_soffice(r, rows, numbers)))
        attempt("olefile", lambda: check_olefile(path))
        attempt("xlrd", lambda: check_xlrd(path, rows, filled_row, numbers, sheets))
        for name, job, check in jobs:
            attempt(name, lambda: check(job.result()))
    failed = any(line.startswith("FAIL") for line in lines)
    print("\n".join(lines + ([] if failed else ["OK"])))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
