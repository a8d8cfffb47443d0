#!/usr/bin/env bash
# History benchmark: a year of minutes for three devices, then /api/history's query of
# one key at 500 points over a day, a week, a month and the year (target: under 50 ms
# for the year). Prints the table and writes the JSON to bench/results/.
#
#   bench/history.sh [days (365)]
# Environment: BENCH_BUILD (build folder, default build-bench), BENCH_JOBS (2).
set -euo pipefail
cd "$(dirname "$0")/.."
days=${1:-365}
build=${BENCH_BUILD:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRIVANE_BUILD_CONSOLE=OFF >/dev/null
cmake --build "$build" --target history-bench -j"${BENCH_JOBS:-2}" >/dev/null
mkdir -p bench/results
db=$(mktemp -d /tmp/brivane-history-bench-XXXXXX)
trap 'rm -rf "$db"' EXIT
"$build/bin/history-bench" --db "$db/history.db" --days "$days" \
  --json "bench/results/history-$(date -u +%Y%m%dT%H%M%SZ).json"
