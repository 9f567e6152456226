#!/usr/bin/env bash
# System calls per append: runs one case of append_bench under `strace -f -c`
# and divides the calls by the case's 20,000 appends. The case's setup (its
# temporary folder, registry file and, for the full folders, 99 or 100 files)
# and the program's start are counted too: a few hundred calls, about 0.02 per
# append.
# Usage: bench/count_append_calls.sh BENCH_BINARY [CASE...]
#        (cases: EmptyFolder NinetyNineToday EarlierDays; all three by default)
set -euo pipefail
bench=$1; shift
cases=("$@")
[[ ${#cases[@]} -gt 0 ]] || cases=(EmptyFolder NinetyNineToday EarlierDays)
appends=20000
for c in "${cases[@]}"; do
  out=$(mktemp)
  strace -f -c -o "$out" "$bench" --benchmark_filter="BM_${c}/" >/dev/null 2>&1
  echo "== $c: calls per append, by call"
  awk -v n=$appends '$1 ~ /^[0-9.]+$/ && NF >= 5 && $NF != "total" { calls = $4; name = $NF; total += calls;
         if (calls / n >= 0.05) printf "  %-20s %6.2f\n", name, calls / n }
       END { printf "  %-20s %6.2f\n", "total", total / n }' "$out"
  rm -f "$out"
done
