#!/usr/bin/env bash
# Builds every fuzz target (the targets named fuzz_*) with clang (libFuzzer, ASan, UBSan) in
# build-fuzz and runs each for SECONDS seconds. Exits non-zero when a target finds a crash, a
# leak or a hang.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash scripts/install-deps.sh

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELVORA_FUZZ=ON -DKELVORA_WERROR=ON -DKELVORA_UI=OFF -DKELVORA_BENCH=OFF >/dev/null
targets=$(cmake --build build-fuzz --target help | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\):.*/\1/p' | sort -u)
if [ -z "$targets" ]; then
  echo "no fuzz targets found" >&2
  exit 1
fi
# shellcheck disable=SC2086
cmake --build build-fuzz -j "$(nproc)" --target $targets

status=0
for target in $targets; do
  corpus="fuzz/corpus-$target"
  mkdir -p "$corpus"
  echo "== $target for ${seconds}s"
  if ! (cd build-fuzz && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
        "bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$target-" "../$corpus" ../samples ../configurations); then
    echo "$target: finding, see build-fuzz/$target-*" >&2
    status=1
  fi
done
exit "$status"
