#!/usr/bin/env bash
# Builds Kelvora and runs kelvora-batch on the sample drawings with the sample configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build -G Ninja && cmake --build build

bin=build/bin
out=build/sample-results
mkdir -p "$out"
status=0
"$bin/kelvora-batch" -c "$bin/configurations/sample.kvx" -o "$out" -e csv \
  --report "$out/KelvoraLog.txt" "$bin/samples" || status=$?
echo
echo "Results:    $(cd "$out" && pwd)"
ls -1 "$out"
echo "Run report: $(cd "$out" && pwd)/KelvoraLog.txt"
exit "$status"
