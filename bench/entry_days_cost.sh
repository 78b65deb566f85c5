#!/usr/bin/env bash
# What keeping LogEntry's per-day counts costs an insert on the server engine: the same
# ROWS rows (copied from the database's own entries, under new record numbers) inserted into
# LogEntry in one statement with the counting trigger and without it, alternately, RUNS times
# each, every insert rolled back. Prints each pair and the medians.
#   bench/entry_days_cost.sh CONNINFO DATABASE [ROWS] [RUNS]      (100000 rows, 5 runs)
# CONNINFO is a libpq string without dbname, e.g. "host=build/release/bench/pg user=tamsel"
# for the cluster server_bench keeps (running); DATABASE one of its TamselBrowse databases.
set -euo pipefail
[ $# -ge 2 ] || { sed -n '2,8p' "$0" >&2; exit 2; }
conninfo=$1 database=$2 rows=${3:-100000} runs=${4:-5}
command -v psql >/dev/null || { echo "entry_days_cost.sh: psql is not installed" >&2; exit 1; }

insert="INSERT INTO LogEntry (ELServerID, LogTypeID, RecordNumber, TimeGenerated, TimeWritten,
  EventID, EventTypeID, EventCategoryID, ELUserID, ELSourceID, FullMessage, CreatedAt)
  SELECT * FROM source_rows;"
script() {  # script with|without: one timed insert, rolled back
  echo "CREATE TEMP TABLE source_rows AS SELECT ELServerID, LogTypeID,
    RecordNumber + 1000000000, TimeGenerated, TimeWritten, EventID, EventTypeID,
    EventCategoryID, ELUserID, ELSourceID, FullMessage, CreatedAt FROM LogEntry LIMIT $rows;"
  echo "BEGIN;"
  [ "$1" = without ] && echo "ALTER TABLE LogEntry DISABLE TRIGGER LogEntry_days_added;"
  echo "\\timing on"
  echo "$insert"
  echo "\\timing off"
  echo "ROLLBACK;"
}
measure() {  # measure with|without -> milliseconds
  script "$1" | psql "$conninfo dbname=$database" -X -q -v ON_ERROR_STOP=1 2>&1 |
    awk '/^Time:/ { print $2 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "load average at start $(cut -d' ' -f1 /proc/loadavg)"
with=() without=() costs=()
for ((i = 1; i <= runs; i++)); do
  with+=("$(measure with)")
  without+=("$(measure without)")
  costs+=("$(awk -v w="${with[-1]}" -v o="${without[-1]}" 'BEGIN { print 100 * (w - o) / o }')")
  printf 'run %d: with the counts %s ms, without %s ms, %+.1f %%\n' "$i" "${with[-1]}" \
    "${without[-1]}" "${costs[-1]}"
done
# Each run's pair is measured back to back, so the median of the pairs' costs resists a
# slow moment better than the ratio of two medians.
printf 'medians of %d rows: with the counts %s ms, without %s ms; cost, median of the pairs: %+.1f %%\n' \
  "$rows" "$(printf '%s\n' "${with[@]}" | median)" "$(printf '%s\n' "${without[@]}" | median)" \
  "$(printf '%s\n' "${costs[@]}" | median)"
echo "load average at end $(cut -d' ' -f1 /proc/loadavg)"
