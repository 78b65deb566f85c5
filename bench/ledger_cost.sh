#!/usr/bin/env bash
# The instructions the completeness ledger adds to a collection pass, counted by callgrind:
# the same pass of COUNT records without the ledger, with it, and without it again,
# instrumented only while the pass runs. Instruction counts do not depend on the machine's
# load, so the share resolves far below the spread of timed passes; the two passes without
# the ledger differ only by what thread scheduling changes, the noise floor of the count.
#   bench/ledger_cost.sh [BUILD_DIR] [COUNT]        (build/release, 20000 records)
# Takes a few minutes: each pass runs some fifty times slower under callgrind.
set -euo pipefail
build=${1:-build/release}
count=${2:-20000}
program="$build/bench/collector_bench"
command -v valgrind >/dev/null || { echo "ledger_cost.sh: valgrind is not installed" >&2; exit 1; }
[ -x "$program" ] || { echo "ledger_cost.sh: $program not built" >&2; exit 1; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
profile() {  # profile NAME MODE
  valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$out/$1.out" \
    "$program" --callgrind-pass "$2" --count "$count" >"$out/$1.log" 2>&1 ||
    { cat "$out/$1.log" >&2; exit 1; }
}
profile without without
profile with with
profile again without

# The instructions of a profile: its "totals:" line ("summary:" is written before the run and
# stays 0 when instrumentation starts late).
instructions() { awk '/^totals:/ { print $2; exit }' "$1"; }
# Inclusive instructions of the function whose name matches a pattern (its largest line).
inclusive() {
  callgrind_annotate --inclusive=yes --threshold=100 "$1" 2>/dev/null |
    awk -v pattern="$2" '$0 ~ pattern { gsub(",", "", $1); if ($1 + 0 > best) best = $1 + 0 }
                         END { print best + 0 }'
}

without=$(instructions "$out/without.out")
again=$(instructions "$out/again.out")
with=$(instructions "$out/with.out")
row=$(inclusive "$out/with.out" 'LedgerRecorder::Write')
echo "pass of $count records, instructions counted by callgrind"
printf 'pass without the completeness ledger   %15d Ir\n' "$without"
printf 'pass with the completeness ledger      %15d Ir\n' "$with"
printf 'pass without it again                  %15d Ir\n' "$again"
awk -v a="$with" -v b="$without" -v c="$again" -v r="$row" 'BEGIN {
  base = (b + c) / 2
  printf "ledger\x27s share of the pass            %+15d Ir  %+.3f %%\n", a - base, 100 * (a - base) / base
  printf "  of it the row (LedgerRecorder::Write) %14d Ir  %.3f %%\n", r, 100 * r / base
  printf "noise: the two passes without it differ %13d Ir  %.3f %%\n", c - b, 100 * (c - b) / base
}'
