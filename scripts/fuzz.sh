#!/usr/bin/env bash
# Runs every libFuzzer target of fuzz/ for a short bounded time (default 20 s
# each) from the corpus in the tree, with AddressSanitizer and
# UndefinedBehaviorSanitizer. Needs clang; builds only the fuzz targets, in
# build/fuzz. New inputs go to a temporary folder, so the tree's corpus is
# read but never changed. A crash, a leak, a sanitizer report or an input
# that takes more memory than the limit fails the run.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
seconds=${1:-20}
dir=build/fuzz
CC=clang CXX=clang++ cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORLOG_TESTS=OFF \
  -DQORLOG_FUZZ=ON >/dev/null
targets=()
for src in fuzz/*_fuzzer.cc; do targets+=("$(basename "$src" .cc)"); done
cmake --build "$dir" --target "${targets[@]}" -j"$(nproc)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for t in "${targets[@]}"; do
  echo "== fuzz $t for ${seconds}s"
  mkdir -p "$scratch/$t"
  # -malloc_limit_mb: a decoder that asks for far more than its small input
  # could describe is reported as a failure.
  "$dir/fuzz/$t" -max_total_time="$seconds" -malloc_limit_mb=64 -rss_limit_mb=1024 \
    -artifact_prefix="$scratch/$t/" "$scratch/$t" fuzz/corpus
done
echo "fuzzing found nothing"
