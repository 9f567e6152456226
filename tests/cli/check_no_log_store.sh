#!/bin/sh
# The qorlog program is a client of libqorlog.so: it must hold no code of the
# log store. Fails when a function or object defined in the log store's
# static library is also defined in the program.
# Usage: check_no_log_store.sh PROGRAM LOGSTORE_ARCHIVE
set -eu
program=$1
archive=$2
defined() { nm -C --defined-only "$1" 2>/dev/null | awk '$2 ~ /^[TtWwDdBbRr]$/ { $1 = ""; $2 = ""; print }' | sort -u; }
store=$(mktemp)
trap 'rm -f "$store"' EXIT
defined "$archive" | grep 'qorlog::' > "$store"
test -s "$store" || { echo "no log store symbols found in $archive"; exit 1; }
shared=$(defined "$program" | grep -Fxf "$store" || true)
if [ -n "$shared" ]; then
  echo "the program holds log store code:"
  echo "$shared"
  exit 1
fi
echo "no log store code in $program"
