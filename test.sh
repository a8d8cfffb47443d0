#!/usr/bin/env bash
# Builds Brivane and runs every test twice: a normal build in build/, then a build
# with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/; then cross-builds
# the service for arm64 in build-arm64-ci/ and runs its unit tests and the smoke test under
# qemu; then builds the fuzz targets with clang in build-fuzz/ and runs each one briefly.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh --cross arm64 --no-console

jobs=$(nproc)
failed=()
timings=("dependencies: $SECONDS s")
# run_suite DIR "CTEST ARGS" CMAKE ARGS...: configure, build, run the tests.
run_suite() {
  local dir=$1 selection=$2
  shift 2
  local start=$SECONDS
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  local built=$SECONDS
  # shellcheck disable=SC2086
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 600 $selection) || failed+=("$dir")
  timings+=("$dir: built in $((built - start)) s, tested in $((SECONDS - built)) s")
}

run_suite build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The systemd tests drive the same program through a booted systemd; they run once,
# in the normal build, and the sanitizers watch the service in every other test.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan "-LE system" -DCMAKE_BUILD_TYPE=Debug -DBRIVANE_SANITIZE=ON

# Raspberry Pi: the service cross-built for arm64 (no console), its unit tests and the
# smoke test under qemu user-mode emulation, the smoke test driving it with build/'s own
# mate-sim and clients. scripts/build-packages.sh builds every architecture in full.
run_suite build-arm64-ci "-LE package" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm64.cmake -DBRIVANE_BUILD_CONSOLE=OFF \
  -DBRIVANE_NATIVE_BIN_DIR="$PWD/build/bin"

# Fuzz targets, built with clang, each run a few seconds on its seed corpus with a
# fixed seed: a crash or a broken invariant fails the script.
fuzz_start=$SECONDS
CXX=clang++ cmake -S . -B build-fuzz -DBRIVANE_FUZZ=ON -DBRIVANE_BUILD_CONSOLE=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target fuzz_targets -j"$jobs"
tests/fuzz/run-targets.sh build-fuzz 5 1 || failed+=(build-fuzz)
timings+=("build-fuzz: built and run in $((SECONDS - fuzz_start)) s")

# Where the time went, so the CI log shows which stage to trim.
printf 'test.sh: %s\n' "${timings[@]}"

if ((${#failed[@]} > 0)); then
  echo "test.sh: failures in ${failed[*]}" >&2
  exit 1
fi
echo "test.sh: every stage passed"
