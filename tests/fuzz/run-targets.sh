#!/usr/bin/env bash
# Runs every fuzz target of a build for a while, from its seed corpus, and prints what
# each reached. Exits 1 when any target crashed, broke an invariant or timed out; the
# input that did it is kept in <build>/fuzz-artifacts/ and its log in <build>/fuzz-logs/.
#
#   tests/fuzz/run-targets.sh <build dir> <seconds per target> [seed] [target...]
#
# New inputs go to a fresh working corpus in <build>/fuzz-work/<target>; the seeds
# in tests/fuzz/corpus/<target> are only read. Committed reproducers in
# tests/fuzz/crashes/<target>/ are run first, so a mended fault stays mended.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 <build dir> <seconds per target> [seed] [target...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=$2
seed=${3:-1}
shift $(($# < 3 ? $# : 3))
here=$(cd "$(dirname "$0")" && pwd)

targets=("$@")
if ((${#targets[@]} == 0)); then
  for binary in "$build"/bin/fuzz_*; do
    [[ -x "$binary" ]] && targets+=("$(basename "$binary")")
  done
fi
if ((${#targets[@]} == 0)); then
  echo "run-targets: no fuzz targets in $build/bin (build the target fuzz_targets)" >&2
  exit 1
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"

# The last figure that follows a label in libFuzzer's status lines ("cov: 340").
last_figure() {
  grep -o "$1: *[0-9]*" "$2" | tail -n 1 | grep -o '[0-9]*$' || echo "?"
}

failed=()
printf '%-28s %12s %10s %8s %8s %8s\n' target execs exec/s cov ft corpus
for target in "${targets[@]}"; do
  binary="$build/bin/$target"
  log="$build/fuzz-logs/$target.log"
  work="$build/fuzz-work/$target"
  rm -rf "$work"
  mkdir -p "$work"
  status=0
  crashes=("$here/crashes/$target"/*)
  if [[ -e "${crashes[0]}" ]]; then
    "$binary" -runs=1 "${crashes[@]}" >"$log.replay" 2>&1 || status=$?
  fi
  if ((status == 0)); then
    "$binary" "$work" "$here/corpus/$target" -seed="$seed" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/fuzz-artifacts/$target-" >"$log" 2>&1 || status=$?
  else
    mv "$log.replay" "$log"
  fi
  printf '%-28s %12s %10s %8s %8s %8s\n' "$target" \
    "$(last_figure 'stat::number_of_executed_units' "$log")" \
    "$(last_figure 'stat::average_exec_per_sec' "$log")" \
    "$(last_figure cov "$log")" "$(last_figure ft "$log")" \
    "$(find "$work" -type f | wc -l)"
  if ((status != 0)); then
    failed+=("$target")
    echo "--- $target failed (exit $status); end of $log:" >&2
    grep -v '^#' "$log" | tail -n 40 >&2
  fi
done

if ((${#failed[@]} > 0)); then
  echo "run-targets: failed: ${failed[*]}" >&2
  exit 1
fi
