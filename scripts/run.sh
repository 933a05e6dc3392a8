#!/usr/bin/env bash
# Builds Kelvora and starts the window. A first start shows the sample drawings and the sample
# configuration. Without a display it runs kelvora-batch on the samples instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build

bin=build/bin
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/kelvora"
fi

echo "No display found: running kelvora-batch on the samples instead of starting the window."
echo "(To see the window without a desktop: xvfb-run -a $bin/kelvora)"
out=build/sample-results
mkdir -p "$out"
status=0
"$bin/kelvora-batch" -c "$bin/configurations/sample.kvx" -o "$out" \
  --report "$out/KelvoraLog.txt" "$bin/samples" || status=$?
echo
echo "Results:    $(cd "$out" && pwd)"
ls -1 "$out"
echo "Run report: $(cd "$out" && pwd)/KelvoraLog.txt"
exit "$status"
