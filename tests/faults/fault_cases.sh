#!/usr/bin/env bash
# Fault cases that need root: full disks (tmpfs mounts), device nodes, runs killed or run side
# by side, a symbolic link planted in a shared destination. Each case checks what the target
# holds afterwards, the exit status, what was told and that no temporary file was left.
# Usage: tests/faults/fault_cases.sh BUILD_DIR. Without root it says so and exits with 77,
# which ctest counts as skipped.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
batch="$(cd "${1:?build folder}" && pwd)/bin/kelvora-batch"
config="$root/configurations/sample.kvx"

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: the fault cases need root (tmpfs mounts, mknod); run them as root, as CI does"
  exit 77
fi
work="$(mktemp -d /tmp/kelvora-faults-XXXXXX)"
mounts=()
cleanup() {
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# A drawing of N door inserts (layer DOORS, as the sample configuration wants) whose attribute values say which drawing they come from.
make_drawing() { # path rows mark
  /usr/bin/python3 - "$@" <<'PY'
import sys
path, rows, mark = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with open(path, "w", newline="\n") as out:
    out.write("0\nSECTION\n2\nENTITIES\n")
    for i in range(rows):
        out.write(f"0\nINSERT\n8\nDOORS\n66\n1\n2\nDOOR\n10\n0\n20\n0\n30\n0\n"
                  f"0\nATTRIB\n8\n0\n1\n{mark}-{i:07d} a door of the {mark} drawing\n2\nREF\n"
                  f"0\nSEQEND\n")
    out.write("0\nENDSEC\n0\nEOF\n")
PY
}
no_temporary() { # folder
  ! ls -A "$1" | grep -q '^\.kelvora-'
}
mount_small() { # folder size
  mkdir -p "$1"
  if ! mount -t tmpfs -o "size=$2" tmpfs "$1" 2>/dev/null; then
    echo "SKIPPED: tmpfs cannot be mounted here; the full-disk cases did not run"
    return 1
  fi
  mounts+=("$1")
}

make_drawing "$work/big.dxf" 20000 A
mkdir -p "$work/b" && make_drawing "$work/b/big.dxf" 20000 B
"$batch" -q -c "$config" -e csv -o "$work" --report "$work/log-ref.txt" "$work/big.dxf" ||
  fail "reference run"
mv "$work/big.csv" "$work/reference-A.csv"
"$batch" -q -c "$config" -e csv -o "$work/b" --report "$work/log-ref.txt" "$work/b/big.dxf" ||
  fail "reference run B"
mv "$work/b/big.csv" "$work/reference-B.csv"

# 1. A full disk keeps the earlier results, text and workbook, and tells both failures.
if mount_small "$work/full" 256k; then
  for ext in csv xls; do
    echo "earlier $ext" >"$work/full/big.$ext"
    "$batch" -q -c "$config" -e "$ext" -o "$work/full" --report "$work/full/log.txt" \
      "$work/big.dxf" 2>"$work/err.txt"
    status=$?
    if [ $status -eq 1 ] && [ "$(cat "$work/full/big.$ext")" = "earlier $ext" ] &&
       no_temporary "$work/full" && grep -q "big.$ext" "$work/err.txt"; then
      pass "full disk, $ext: earlier result kept, failure told"
    else
      fail "full disk, $ext: status $status, $(head -c 80 "$work/full/big.$ext"), $(cat "$work/err.txt")"
    fi
  done
  # The report on the same full disk: its failure is told besides the result's.
  head -c 250000 /dev/zero >"$work/full/filler" 2>/dev/null
  "$batch" -q -c "$config" -e csv -o "$work/full" --report "$work/full/log2.txt" \
    "$work/big.dxf" 2>"$work/err.txt"
  if grep -q "big.csv" "$work/err.txt" && grep -q "report could not be saved" "$work/err.txt" &&
     no_temporary "$work/full"; then
    pass "full disk: result and report failures both told"
  else
    fail "full disk, report: $(cat "$work/err.txt")"
  fi
fi

# 2. A report path that is a device node or a FIFO is written to, never replaced.
mknod "$work/null" c 1 3
"$batch" -q -c "$config" -e csv -o "$work" --report "$work/null" "$root/samples/doors_r12.dxf"
status=$?
if [ $status -eq 0 ] && [ -c "$work/null" ] && [ -c /dev/null ]; then
  pass "report to a device node"
else
  fail "report to a device node: status $status"
fi
mkfifo "$work/fifo"
cat "$work/fifo" >"$work/fifo-read.txt" &
reader=$!
"$batch" -q -c "$config" -e csv -o "$work" --report "$work/fifo" "$root/samples/doors_r12.dxf"
status=$?
wait $reader
if [ $status -eq 0 ] && [ -p "$work/fifo" ] && grep -q "^Kelvora report created" "$work/fifo-read.txt"; then
  pass "report to a FIFO"
else
  fail "report to a FIFO: status $status"
fi

# 3. A run killed outright leaves the earlier result or the complete new one, never a part.
for signal in KILL TERM; do
  mkdir -p "$work/kill-$signal"
  echo "earlier" >"$work/kill-$signal/big.csv"
  "$batch" -q -c "$config" -e csv -o "$work/kill-$signal" --report "$work/log-kill.txt" \
    "$work/big.dxf" &
  run=$!
  for _ in $(seq 200); do
    ls -A "$work/kill-$signal" | grep -q '^\.kelvora-' && break
    sleep 0.005
  done
  kill -s "$signal" $run 2>/dev/null
  wait $run
  result="$work/kill-$signal/big.csv"
  if [ "$(cat "$result")" = "earlier" ] || cmp -s "$result" "$work/reference-A.csv" ||
     { [ "$signal" = TERM ] && grep -q "Process aborted" "$work/log-kill.txt"; }; then
    pass "SIG$signal during a run: earlier result or a complete one (or the rows of a Stop)"
  else
    fail "SIG$signal during a run: $(wc -l <"$result") lines"
  fi
  if [ "$signal" = TERM ] && ! no_temporary "$work/kill-$signal"; then
    fail "SIGTERM left a temporary file"
  fi
done

# 4. Two runs writing one result name side by side: it ends as one run's complete result.
mkdir -p "$work/shared"
"$batch" -q -c "$config" -e csv -o "$work/shared" --report "$work/log-a.txt" "$work/big.dxf" &
first=$!
"$batch" -q -c "$config" -e csv -o "$work/shared" --report "$work/log-b.txt" "$work/b/big.dxf" &
second=$!
wait $first && wait $second || fail "concurrent runs: an exit status"
if cmp -s "$work/shared/big.csv" "$work/reference-A.csv" ||
   cmp -s "$work/shared/big.csv" "$work/reference-B.csv"; then
  pass "concurrent runs: one complete result"
else
  fail "concurrent runs: the result is a mixture"
fi

# 5. A symbolic link planted in a shared destination is not followed, for text and workbook.
mkdir -p "$work/planted"
for ext in csv xls; do
  echo "outside" >"$work/outside-$ext"
  ln -s "$work/outside-$ext" "$work/planted/doors_r12.$ext"
  "$batch" -q -c "$config" -e "$ext" -o "$work/planted" --report "$work/log-link.txt" \
    "$root/samples/doors_r12.dxf" 2>"$work/err.txt"
  status=$?
  if [ $status -eq 1 ] && [ "$(cat "$work/outside-$ext")" = "outside" ] &&
     [ -L "$work/planted/doors_r12.$ext" ] && grep -q "symbolic link" "$work/err.txt" &&
     grep -q "result file could not be written" "$work/log-link.txt"; then
    pass "symbolic link at a $ext result path left alone and told"
  else
    fail "symbolic link, $ext: status $status, $(cat "$work/err.txt")"
  fi
done

if [ $failures -gt 0 ]; then
  echo "$failures fault case(s) failed"
  exit 1
fi
echo "every fault case held"
