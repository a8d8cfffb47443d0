#!/usr/bin/env bash
# Long fuzzing runs: builds the fuzz targets with clang in build-fuzz/ and runs each
# for a given time (default 10 minutes), then prints the executions, executions per
# second, coverage (cov: edges, ft: features) and corpus size each one reached.
#
#   bench/fuzz.sh [seconds per target] [target...]
#
# Environment: FUZZ_SEED (default: a new one each run), FUZZ_JOBS for the build (2).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift $(($# > 0 ? 1 : 0))
seed=${FUZZ_SEED:-$(( (RANDOM << 15 | RANDOM) + 1 ))}

CXX=clang++ cmake -S . -B build-fuzz -DBRIVANE_FUZZ=ON -DBRIVANE_BUILD_CONSOLE=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target fuzz_targets -j"${FUZZ_JOBS:-2}" >/dev/null

echo "fuzz: ${seconds}s per target, seed $seed"
tests/fuzz/run-targets.sh build-fuzz "$seconds" "$seed" "$@"
