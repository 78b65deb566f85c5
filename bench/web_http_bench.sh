#!/usr/bin/env bash
# TamselWeb over HTTP on loopback, on a network of 1,000,000 stored entries:
#   bench/web_http_bench.sh [BUILD_DIR] [ENTRIES]
# TAMSEL_WEB_BENCH_SECONDS shortens the timed runs (default 20 s for 1., 10 s for each of 2.).
# 1. the first page of the log browser, 16 clients with keep-alive (wrk): page views/s, p99;
# 2. a middle page and a filtered page, one client: median, beside the same two component
#    calls made in-process (web_page_calls_bench);
# 3. the CSV export of every entry: rows/s and the server's peak memory before and after.
# The network is built once and kept in BUILD_DIR/web-bench (delete it to rebuild); it is built
# again when the fixture program is newer, so that its database matches the schema of the build.
set -euo pipefail

build=$(cd "${1:-build/release}" && pwd)
entries=${2:-1000000}
seconds=${TAMSEL_WEB_BENCH_SECONDS:-}
root="$build/web-bench"
for program in "$build/web/TamselWeb" "$build/web/tamsel_web_fixture" "$build/bench/web_page_calls_bench"; do
  [ -x "$program" ] || { echo "web bench: $program is missing; build first (make build)" >&2; exit 1; }
done
command -v wrk >/dev/null || { echo "web bench: wrk is missing (apt-get install wrk)" >&2; exit 1; }

if [ ! -f "$root/ready-$entries" ] || [ "$build/web/tamsel_web_fixture" -nt "$root/ready-$entries" ]; then
  rm -rf "$root"
  echo "== building a network with $entries entries"
  "$build/web/tamsel_web_fixture" "$root/network" "$root/component" \
    "$build/reports/libTamselReportsCom.so" "$entries"
  touch "$root/ready-$entries"
fi
# The component of this build, not the one copied when the network was made.
cp --remove-destination "$build/reports/libTamselReportsCom.so" "$root/component/"
export TAMSEL_NETWORK="$root/network" TAMSEL_MACHINE=WEBHOST
library="$root/component/libTamselReportsCom.so"

"$build/web/TamselWeb" --listen 127.0.0.1:0 --library "$library" > "$root/web.out" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  base=$(grep -o 'http://127.0.0.1:[0-9]*' "$root/web.out" || true)
  [ -n "$base" ] && break
  sleep 0.1
done

# One session per client, as 16 people would have.
sign_in() {
  local jar="$root/cookies" token
  rm -f "$jar"
  token=$(curl -s -c "$jar" -b "$jar" "$base/login" | grep -o 'name="csrf" value="[0-9a-f]*"' |
          sed 's/.*value="//;s/"//')
  curl -s -c "$jar" -b "$jar" -o /dev/null --data-urlencode "csrf=$token" \
    --data-urlencode username=admin --data-urlencode password=admin-pass-1 "$base/login"
  awk '$6 == "tamsel_session" {print $7}' "$jar"
}
tokens=""
for _ in $(seq 1 16); do tokens="$tokens$(sign_in),"; done
export TAMSEL_BENCH_COOKIES="$tokens"
cookie="Cookie: tamsel_session=${tokens%%,*}"
script="$(dirname "$0")/web_sessions.lua"

echo "== load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== 1. first page, 16 clients, keep-alive"
for _ in $(seq 1 3); do curl -s -o /dev/null -H "$cookie" "$base/logs"; done
wrk -t16 -c16 -d"${seconds:-20}"s --timeout 10s --latency -s "$script" "$base/logs" | grep -E "Requests/sec|50%|99%|Non-2xx|Socket"

for page in "/logs?page=10000" "/logs?server=1&type=1&eventid=105"; do
  echo "== 2. $page, one client"
  wrk -t1 -c1 -d"${seconds:-10}"s --timeout 10s --latency -H "$cookie" "$base$page" | grep -E "Requests/sec|50%|99%|Non-2xx"
done
echo "== 2. the same two component calls in-process (first, middle, filtered)"
TAMSEL_WEB_BENCH_LIBRARY="$library" "$build/bench/web_page_calls_bench" \
  --benchmark_filter=PageCalls ${seconds:+--benchmark_min_time=0.001} 2>/dev/null | grep -E "median"

echo "== 3. CSV export of every entry"
peak() { grep VmHWM "/proc/$server/status" | awk '{print $2 " kB"}'; }
echo "server peak memory before: $(peak)"
took=$(curl -s -H "$cookie" -o "$root/export.csv" -w '%{time_total}' "$base/logs.csv")
rows=$(grep -c "^[0-9]*,2" "$root/export.csv" || true)
echo "rows written: $rows"
[ "$rows" -gt 0 ] || { echo "web bench: the CSV export wrote no entries" >&2; exit 1; }
awk -v r="$rows" -v s="$took" 'BEGIN { printf "%d rows in %.2f s: %.0f rows/s\n", r, s, r / s }'
echo "server peak memory after: $(peak)"
rm -f "$root/export.csv"
echo "== load average: $(cut -d' ' -f1-3 /proc/loadavg)"
