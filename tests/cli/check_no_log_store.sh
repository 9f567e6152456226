#!/bin/sh
# The qorlog program is a client of libqorlog.so: it must hold no code of the
# log store. Fails when a function or object that the log store's static
# library defines with external linkage (nm types T, D, B, R) is also defined
# in the program. Weak symbols (W, V) are left out: inline functions and
# template instantiations of shared headers are emitted by every user of the
# header in a Debug build.
# Usage: check_no_log_store.sh PROGRAM LOGSTORE_ARCHIVE
set -eu
program=$1
archive=$2
defined() { nm -C --defined-only "$1" 2>/dev/null | awk -v types="$2" '$2 ~ types { $1 = ""; $2 = ""; print }' | sort -u; }
store=$(mktemp)
trap 'rm -f "$store"' EXIT
defined "$archive" '^[TDBR]$' | grep 'qorlog::' > "$store"
test -s "$store" || { echo "no log store symbols found in $archive"; exit 1; }
shared=$(defined "$program" '^[TtWwDdBbRrVv]$' | grep -Fxf "$store" || true)
if [ -n "$shared" ]; then
  echo "the program holds log store code:"
  echo "$shared"
  exit 1
fi
echo "no log store code in $program"
