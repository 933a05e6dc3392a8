#!/usr/bin/env bash
# The Windows build of kelvora-batch: cross-builds it into build-win with MinGW-w64, runs its
# tests under wine, runs kelvora-batch.exe on the samples and compares its results with those of
# the Linux build's kelvora-batch (LINUX_BUILD, default build/, made by scripts/test.sh), and
# packs build-win/kelvora-batch-VERSION-win64.zip. Installs nothing: scripts/install-deps.sh
# does.
#   scripts/windows.sh [LINUX_BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux=$(realpath "${1:-build}")
win=$root/build-win
python=/usr/bin/python3

linux_batch=$linux/bin/kelvora-batch
if [ ! -x "$linux_batch" ]; then
  echo "windows.sh: $linux_batch not found: build Linux first (scripts/test.sh)" >&2
  exit 1
fi

cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKELVORA_WERROR=ON \
  >/dev/null
cmake --build "$win" -j "${JOBS:-$(nproc)}"

# A wine of its own under the build folder; its first start sets it up (about 20 s), without
# offering to install .NET and HTML support, which nothing here needs.
export WINEPREFIX=$win/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1
fi

ctest --test-dir "$win" --output-on-failure

# The samples, under a folder name that the ANSI code page cannot hold, through both programs.
work=$win/samples-run
rm -rf "$work"
drawings="$work/Zeichnungen ü 図面"
mkdir -p "$drawings" "$work/linux" "$work/windows"
cp samples/*.dxf "$drawings/"
cp configurations/sample.kvx "$work/"
exe=$win/bin/kelvora-batch.exe
run_both() { # NAME ARGS...: the same run by both programs, into linux/NAME and windows/NAME
  local name=$1
  shift
  mkdir -p "$work/linux/$name" "$work/windows/$name"
  (cd "$work" && "$linux_batch" -q -c sample.kvx -o "linux/$name" --report "linux/$name.log" \
    "$@" "$(basename "$drawings")")
  (cd "$work" && "$wine" "$exe" -q -c sample.kvx -o "windows/$name" \
    --report "windows/$name.log" "$@" "$(basename "$drawings")")
}
run_both xls -e xls
run_both csv -e csv
run_both utf8 -e csv --text-encoding utf-8

# Comma-separated results byte for byte, the workbooks read by independent readers.
diff -r "$work/linux/csv" "$work/windows/csv"
diff -r "$work/linux/utf8" "$work/windows/utf8"
poi=$linux/tests/workbook_file/poi
"$python" tests/windows/check_windows_results.py "$work" \
  --soffice "$(command -v soffice)" --java "$(command -v java)" \
  --poi-classpath "$poi:/usr/share/java/poi.jar:/usr/share/java/commons-collections4.jar:/usr/share/java/commons-math3.jar:/usr/share/java/commons-codec.jar" \
  --freexl-read "$linux/tests/workbook_file/freexl_read" --ssconvert "$(command -v ssconvert)"

# No .xlsx on Windows: said so, and refused before any drawing is read.
if (cd "$work" && "$wine" "$exe" -q -c sample.kvx -e xlsx -o windows "$(basename "$drawings")" \
  2>"$work/xlsx.err"); then
  echo "windows.sh: kelvora-batch.exe accepted -e xlsx" >&2
  exit 1
fi
grep -q "xlsx" "$work/xlsx.err"
"$wine" "$exe" --help | grep -q "no .xlsx"

# The zip: the program with what it finds beside it on a first run. The program carries its
# runtime (linked statically); it needs no DLLs but those of Windows itself.
version=$(sed -n 's/^project(Kelvora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
for dll in $imports; do
  case $dll in
    kernel32.dll | msvcrt.dll | ole32.dll | shell32.dll | user32.dll | advapi32.dll | api-ms-win-*) ;;
    *) echo "windows.sh: kelvora-batch.exe needs $dll, which Windows does not have" >&2; exit 1 ;;
  esac
done
package=kelvora-batch-$version-win64
rm -rf "$win/$package" "$win/$package.zip"
mkdir -p "$win/$package"
x86_64-w64-mingw32-strip -o "$win/$package/kelvora-batch.exe" "$exe" # without debugging data
cp -r "$win/bin/samples" "$win/bin/configurations" "$win/bin/kelvora.ini" "$win/$package/"
(cd "$win" && "$python" -m zipfile -c "$package.zip" "$package")
echo "windows.sh: $win/$package.zip"
