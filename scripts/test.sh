#!/usr/bin/env bash
# Builds Kelvora and runs every test. With --sanitize: an ASan/UBSan build in its own folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=build
flags=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DKELVORA_SANITIZE=ON -DKELVORA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
fi

cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
