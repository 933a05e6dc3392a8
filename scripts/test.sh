#!/usr/bin/env bash
# Builds Kelvora and runs every test, warnings being errors. With --sanitize: an ASan/UBSan
# build in its own folder; with --release: the Release build packagers make, in build-release.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=build
flags=(-DKELVORA_WERROR=ON)
case "${1:-}" in
  --sanitize)
    build=build-asan
    flags+=(-DKELVORA_SANITIZE=ON -DKELVORA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
    ;;
  --release)
    build=build-release
    flags+=(-DCMAKE_BUILD_TYPE=Release)
    ;;
  "") ;;
  *)
    echo "usage: $0 [--sanitize | --release]" >&2
    exit 2
    ;;
esac

cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
