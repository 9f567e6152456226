#!/usr/bin/env bash
# The CI entry: installs the dependencies, then builds and runs every test
# with the "release" preset (build/release) and the "asan" preset
# (AddressSanitizer + UndefinedBehaviorSanitizer, build/asan), fuzzes the
# decoders briefly, and cross-builds the Windows library and its tests
# ("windows" preset, build/windows) and runs them under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/install-deps.sh

for preset in release asan; do
  echo "== build $preset"
  scripts/build.sh "$preset"
  echo "== test $preset"
  ctest --preset "$preset" -j"$(nproc)"
done
# The decoders are fuzzed briefly where clang is installed (install-deps.sh
# installs it).
if command -v clang++ >/dev/null; then
  echo "== fuzz"
  scripts/fuzz.sh 20
fi
scripts/test-windows.sh
echo "all tests passed"
