"""Compares the workbooks kelvora-batch.exe wrote under wine with those of the Linux build.

usage: check_windows_results.py WORK [check_xls.py's reader options]

WORK holds linux/xls, windows/xls (the same drawings, "-e xls") and linux/utf8 (the same
drawings as decoded comma-separated text). For every drawing:
- both programs wrote a workbook, and their "Workbook" streams are the same bytes (the
  compound files themselves differ: libgsf writes one, the system's structured storage the
  other);
- the Windows workbook passes every reader of tests/workbook_file/check_xls.py, against the
  table of the Linux build's UTF-8 text result, title row filled.
Prints what differs and exits 1; prints "OK" otherwise.
"""
import csv
import json
import os
import subprocess
import sys
import tempfile

import olefile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK_XLS = os.path.join(HERE, "..", "workbook_file", "check_xls.py")


def workbook_stream(path):
    with olefile.OleFileIO(path) as ole:
        return ole.openstream("Workbook").read()


def table_of(csv_path):
    with open(csv_path, newline="", encoding="utf-8-sig") as f:
        return list(csv.reader(f))


def main():
    work, reader_options = sys.argv[1], sys.argv[2:]
    linux, windows = os.path.join(work, "linux", "xls"), os.path.join(work, "windows", "xls")
    problems = []
    names = sorted(os.listdir(linux))
    if names != sorted(os.listdir(windows)):
        problems.append("results differ: Linux %r, Windows %r" % (names, os.listdir(windows)))
    if not names:
        problems.append("no workbooks written")
    for name in names:
        mine = os.path.join(windows, name)
        if not os.path.exists(mine):
            continue
        if workbook_stream(mine) != workbook_stream(os.path.join(linux, name)):
            problems.append("%s: the Workbook streams differ" % name)
        base = os.path.splitext(name)[0]
        expected = {"rows": table_of(os.path.join(work, "linux", "utf8", base + ".csv")),
                    "filled_row": 0}
        with tempfile.NamedTemporaryFile("w", suffix=".json", encoding="utf-8",
                                         delete=False) as f:
            json.dump(expected, f)
        try:
            result = subprocess.run([sys.executable, CHECK_XLS, mine, f.name] + reader_options,
                                    capture_output=True, text=True)
        finally:
            os.unlink(f.name)
        if result.returncode != 0:
            problems.append("%s: %s%s" % (name, result.stdout, result.stderr))
    print("\n".join(problems) if problems else "OK")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
