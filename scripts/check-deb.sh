#!/usr/bin/env bash
# Makes the Debian package from a build folder (default: build-release, which
# `scripts/test.sh --release` builds), unpacks it into an empty folder and uses it there as a
# new user would: kelvora-batch --version, the samples as CSV (compared with the build
# folder's kelvora-batch), .xls and .xlsx (read back), and the window started offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-release}"
python=/usr/bin/python3

fail() {
  echo "check-deb: $*" >&2
  exit 1
}

version=$("$build/bin/kelvora-batch" --version | sed -n 's/^kelvora-batch //p')
deb="$build/kelvora_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB >/dev/null)
[ -f "$deb" ] || fail "cpack made no $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
dpkg -x "$deb" "$root"
shared="$root/usr/share/kelvora"

for file in usr/bin/kelvora usr/bin/kelvora-batch usr/share/applications/kelvora.desktop \
  usr/share/icons/hicolor/scalable/apps/kelvora.svg usr/share/man/man1/kelvora-batch.1.gz \
  usr/share/kelvora/help_kelvora.html usr/share/kelvora/kelvora.ini \
  usr/share/kelvora/configurations/sample.kvx; do
  [ -f "$root/$file" ] || fail "the package has no /$file"
done
ls "$shared"/samples/*.dxf >/dev/null 2>&1 || fail "the package has no samples"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libgsf-1 libxlsxwriter; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
if ldd "$root"/usr/bin/* | grep -q "not found"; then
  fail "libraries not found: $(ldd "$root"/usr/bin/* | grep "not found")"
fi
desktop-file-validate "$root/usr/share/applications/kelvora.desktop"

# Every option of --help is in the man page (where a "-" is written "\-").
man_page=$(zcat "$root/usr/share/man/man1/kelvora-batch.1.gz" | sed 's/\\-/-/g')
for option in $("$root/usr/bin/kelvora-batch" --help | grep -oE -- '(^|[ [,])--?[a-z][a-z-]*' |
  tr -d ' [,' | sort -u); do
  grep -qF -- "$option" <<<"$man_page" || fail "the man page does not mention $option"
done

# A new user: an empty home, nothing else in the environment.
home="$work/home"
mkdir -p "$home" "$work/csv" "$work/xls" "$work/xlsx" "$work/expected"
as_user() {
  (cd "$work" && env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@")
}
[ "$(as_user "$root/usr/bin/kelvora-batch" --version)" = "kelvora-batch $version" ] ||
  fail "kelvora-batch --version does not say $version"

config="$shared/configurations/sample.kvx"
for extension in csv xls xlsx; do
  as_user "$root/usr/bin/kelvora-batch" -q -c "$config" -o "$work/$extension" -e "$extension" \
    "$shared/samples" || fail "the run on the samples as $extension failed"
done
user="$home/.local/share/kelvora"
[ -f "$user/KelvoraLog.txt" ] || fail "no run report in $user"
[ -f "$user/configurations/sample.kvx" ] || fail "no sample configuration in $user"
[ "$(cat "$user/kelvora.ini")" = "$(printf 'sample.kvx\r')" ] || fail "$user/kelvora.ini"

"$build/bin/kelvora-batch" -q -c "$config" -o "$work/expected" -e csv \
  --report "$work/expected.txt" "$shared/samples"
diff -r "$work/expected" "$work/csv" || fail "the CSV results differ from the build's"

# The workbooks hold the texts of the CSV results (the samples' texts are ASCII).
"$python" - "$work" <<'PY' || fail "the workbooks differ from the CSV results"
import csv, pathlib, sys
import openpyxl, xlrd
work = pathlib.Path(sys.argv[1])
names = sorted(p.stem for p in (work / "csv").glob("*.csv"))
assert names, "no results"
for name in names:
    with open(work / "csv" / f"{name}.csv", newline="", encoding="latin-1") as f:
        rows = [row for row in csv.reader(f)]
    sheet = xlrd.open_workbook(work / "xls" / f"{name}.xls").sheet_by_index(0)
    xls = [[sheet.cell_value(r, c) for c in range(sheet.ncols)] for r in range(sheet.nrows)]
    book = openpyxl.load_workbook(work / "xlsx" / f"{name}.xlsx", read_only=True)
    xlsx = [[v or "" for v in row] for row in book.worksheets[0].iter_rows(values_only=True)]
    for label, table in (("xls", xls), ("xlsx", xlsx)):
        if [[str(v) for v in row] for row in table] != rows:
            sys.exit(f"{name}.{label} differs from {name}.csv")
print(f"{len(names)} drawings: CSV, .xls and .xlsx agree")
PY

# The window starts and runs until it is stopped.
status=0
as_user env QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/kelvora" || status=$?
[ "$status" -eq 124 ] || fail "the window ended at once (status $status)"

echo "check-deb: $deb installs and runs"
