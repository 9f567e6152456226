#!/usr/bin/env bash
# Installs the dependencies, then builds and runs every test twice:
# a normal build and an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/install-deps.sh

run_suite() {
  local dir=$1; shift
  echo "== build $dir"
  scripts/build.sh "$dir" "$@"
  echo "== test $dir"
  (cd "$dir" && ctest --output-on-failure -j"$(nproc)" --timeout 600)
}

run_suite build/release
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build/sanitize -DQORLOG_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
echo "all tests passed"
