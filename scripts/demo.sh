#!/usr/bin/env bash
# Installs the dependencies, builds, and shows what qorlog does on this
# machine. Logs go to a temporary folder unless QORLOG_REGISTRY is set.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/install-deps.sh
scripts/build.sh build/release -DQORLOG_TESTS=OFF >/dev/null
qorlog=build/release/cli/qorlog

if [ -z "${QORLOG_REGISTRY:-}" ]; then
  demo=$(mktemp -d)
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\nProgramFilesDir (x86)=%s/pf\n' "$demo" \
    > "$demo/registry.ini"
  export QORLOG_REGISTRY="$demo/registry.ini"
  export XDG_RUNTIME_DIR="$demo/run"
  mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
  echo "(demo registry: $QORLOG_REGISTRY)"
fi

echo "== qorlog paths"
"$qorlog" paths
