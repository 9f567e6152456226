#!/usr/bin/env bash
# Installs the dependencies, builds, and shows what qorlog does on this
# machine. Logs go to a temporary folder unless QORLOG_REGISTRY is set.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/install-deps.sh
# The release preset's folder, with its tests configured as the test script
# wants them; only the program and the library are built here.
cmake --preset release >/dev/null
cmake --build --preset release --target qorlog_cli -j"$(nproc)" >/dev/null
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

echo
echo "== qorlog write: one record of every kind through the library"
"$qorlog" write pcscan --code 12 --sub-code 3 --text64 "quick scan" --text260 "/home/demo/Downloads: 3 files, clean"
"$qorlog" write fw --code 101 --sub-code 2 --param 8080 --text64 "inbound" --text260 "blocked 203.0.113.7:51234" --text64b "rule 4"
"$qorlog" write simple --kind anti-keylogger --code 7 --sub-code 1 --text "keyboard hook refused for pid 4242"
"$qorlog" write simple --kind "secure browser" --code 2 --text "session opened"
"$qorlog" write simple --kind "pellora i" --code 5 --sub-code 9 --text "update check: up to date"
"$qorlog" write simple --kind 5000 --code 1 --text "any other kind goes to etc"
for i in 1 2 3; do "$qorlog" write fw --code "$i" --param "$((i * 1000))" --text64 "outbound" --text260 "allowed 198.51.100.$i:443"; done

for kind in pc-scan firewall anti-keylogger secure-browser pellora 5000; do
  echo "== qorlog list --kind $kind"
  "$qorlog" list --kind "$kind"
  echo "== qorlog show --kind $kind"
  "$qorlog" show --kind "$kind"
done

echo
echo "== qorlog prune --all (nothing to prune below 100 files and 10 MiB)"
"$qorlog" prune --all

echo
echo "== qorlog write with a code the readers refuse (exit status 2)"
"$qorlog" write simple --code 603 || echo "(exit status $?)"
