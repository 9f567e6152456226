#!/usr/bin/env bash
# Cross-builds the 64-bit Windows library and tests with mingw-w64 into
# build/windows and runs the tests under Wine, in a private Wine prefix
# (build/windows/wineprefix). Installs what it needs from Debian's packages.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

packages=(cmake g++-mingw-w64-x86-64-posix wine64 libgcrypt-mingw-w64-dev googletest)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  # The package lists may be old or missing on a fresh machine: update once
  # when a package cannot be installed from them.
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
    { $sudo apt-get update -qq && $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; }
fi

build=build/windows
# Debian's wine64 package keeps its loader outside PATH unless the wine
# package is installed as well.
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
# The preset sets the same prefix and Wine variables for the tests.
export WINEPREFIX="$here/$build/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
mkdir -p "$build"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== making the Wine prefix $WINEPREFIX"
  # A syswow64\rundll32.exe error here is harmless: there is no 32-bit Wine.
  "$wine64" wineboot --init >/dev/null 2>&1 || true
  "$wineserver" -w || true
fi

echo "== build $build"
cmake --preset windows >/dev/null
cmake --build --preset windows
echo "== test $build"
ctest --preset windows -j2
"$wineserver" -k || true
