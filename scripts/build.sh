#!/usr/bin/env bash
# Configures and builds one preset of CMakePresets.json ("release" in
# build/release, "asan" in build/asan), or any folder with options.
# Usage: scripts/build.sh PRESET [cmake options...]
#        scripts/build.sh DIR [cmake options...]   (a path with a '/')
# Every configure states QORLOG_TESTS, so a folder never keeps an earlier
# script's choice.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
target=$1; shift
jobs=$(nproc)
if [[ "$target" == */* ]]; then
  cmake -S "$here" -B "$target" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORLOG_TESTS=ON "$@" >/dev/null
  cmake --build "$target" -j"$jobs"
else
  cmake --preset "$target" -DQORLOG_TESTS=ON "$@" >/dev/null
  cmake --build --preset "$target" -j"$jobs"
fi
