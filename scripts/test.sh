#!/usr/bin/env bash
# The CI entry: installs the dependencies, then builds and runs every test
# twice, with the "release" preset (build/release) and the "asan" preset
# (AddressSanitizer + UndefinedBehaviorSanitizer, build/asan).
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
echo "all tests passed"
