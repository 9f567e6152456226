#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds consumers of the
# installed library: C and C++ through pkg-config, C++ through find_package.
# Usage: check_install.sh BUILD_DIR TEST_SOURCE_DIR
set -euo pipefail
build=$1
src=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libqorlog.so.1' | head -n1)")
test -f "$prefix/include/qorlog/qorlog.h"
test -x "$prefix/bin/qorlog"

# Only QORLOG_ symbols are exported.
extra=$(nm -D --defined-only "$libdir/libqorlog.so.1" | awk '{print $3}' | grep -v -E '^(QORLOG_|_Z20QORLOG_ReadPCScanLog)' || true)
if [ -n "$extra" ]; then echo "unexpected exports: $extra"; exit 1; fi
readelf -d "$libdir/libqorlog.so.1" | grep -q 'SONAME.*libqorlog.so.1'

export PKG_CONFIG_PATH="$libdir/pkgconfig"
flags="--define-prefix"
cc -std=c11 -Wall -Werror -o "$prefix/consumer_c" "$src/consumer.c" $(pkg-config $flags --cflags --libs qorlog)
c++ -std=c++20 -Wall -Werror -o "$prefix/consumer_cxx" "$src/consumer.cc" $(pkg-config $flags --cflags --libs qorlog)

reg="$prefix/registry.ini"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\nProgramFilesDir (x86)=/consumer/pf\n' > "$reg"
out_c=$(QORLOG_REGISTRY="$reg" XDG_RUNTIME_DIR="$prefix" LD_LIBRARY_PATH="$libdir" "$prefix/consumer_c")
out_cxx=$(QORLOG_REGISTRY="$reg" XDG_RUNTIME_DIR="$prefix" LD_LIBRARY_PATH="$libdir" "$prefix/consumer_cxx")
[ "$out_c" = "/consumer/pf" ] || { echo "C consumer printed '$out_c'"; exit 1; }
[ "$out_cxx" = "/consumer/pf" ] || { echo "C++ consumer printed '$out_cxx'"; exit 1; }

mkdir -p "$prefix/pkg" "$prefix/pkg-build"
cat > "$prefix/pkg/CMakeLists.txt" <<CM
cmake_minimum_required(VERSION 3.25)
project(consumer CXX)
find_package(QorLog REQUIRED)
add_executable(consumer_pkg $src/consumer.cc)
target_link_libraries(consumer_pkg PRIVATE QorLog::qorlog)
CM
cmake -S "$prefix/pkg" -B "$prefix/pkg-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/pkg-build" >/dev/null
out_pkg=$(QORLOG_REGISTRY="$reg" XDG_RUNTIME_DIR="$prefix" "$prefix/pkg-build/consumer_pkg")
[ "$out_pkg" = "/consumer/pf" ] || { echo "CMake consumer printed '$out_pkg'"; exit 1; }
echo "install consumers ok"
