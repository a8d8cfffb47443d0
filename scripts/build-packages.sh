#!/usr/bin/env bash
# Builds the Debian package of Brivane for each architecture named (amd64, arm64, armhf;
# this machine's own by default) and leaves brivane_<version>_<arch>.deb in one folder.
#
#   scripts/build-packages.sh [--no-tests] [--out DIR] [ARCH...]
#
# Other architectures are cross-built with Debian's cross toolchains and multiarch
# libraries (installed by scripts/install-deps.sh --cross ARCH), one build folder each
# (build-<arch>/, configured with cmake/toolchains/<arch>.cmake). Each build's tests run
# before it is packaged: a cross build's unit tests and package check under qemu
# user-mode emulation, and the smoke test, which drives the emulated service with this
# machine's own mate-sim and clients. Whatever the project installs goes into each package.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

out=build-debs
run_tests=1
archs=()
while (($# > 0)); do
  case $1 in
    --no-tests) run_tests=0 ;;
    --out)
      out=${2:?--out needs a folder}
      shift
      ;;
    amd64 | arm64 | armhf) archs+=("$1") ;;
    *)
      echo "usage: $0 [--no-tests] [--out DIR] [amd64|arm64|armhf]..." >&2
      exit 2
      ;;
  esac
  shift
done
native=$(dpkg --print-architecture)
((${#archs[@]} > 0)) || archs=("$native")

cross_args=()
for arch in "${archs[@]}"; do
  [[ "$arch" == "$native" ]] || cross_args+=(--cross "$arch")
done
scripts/install-deps.sh "${cross_args[@]}"

jobs=$(nproc)
mkdir -p "$out"
out=$(cd "$out" && pwd)
tests_flag=-DBRIVANE_BUILD_TESTS=$([[ $run_tests == 1 ]] && echo ON || echo OFF)

configure() {
  local dir=$1
  shift
  echo "== configuring $dir"
  cmake -S "$source_dir" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$tests_flag" "$@" >/dev/null
}

# The smoke tests of cross builds use this machine's own simulator and test program.
native_dir=$source_dir/build-$native
if [[ $run_tests == 1 && ${#cross_args[@]} -gt 0 ]]; then
  configure "$native_dir"
  echo "== building this machine's mate-sim and smoke test"
  cmake --build "$native_dir" -j"$jobs" --target mate-sim brivane_smoke_tests
fi

built=()
for arch in "${archs[@]}"; do
  dir=$source_dir/build-$arch
  if [[ "$arch" == "$native" ]]; then
    configure "$dir"
    selection=(-L 'unit|smoke|package')
  else
    configure "$dir" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchains/$arch.cmake" \
      -DBRIVANE_NATIVE_BIN_DIR="$native_dir/bin"
    # A cross build holds only the tests that run under emulation.
    selection=()
  fi
  echo "== building $arch"
  cmake --build "$dir" -j"$jobs"
  if [[ $run_tests == 1 ]]; then
    echo "== testing $arch"
    (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 600 "${selection[@]}")
  fi
  echo "== packaging $arch"
  rm -rf "$dir/cpack"
  cpack -G DEB --config "$dir/CPackConfig.cmake" -B "$dir/cpack" >"$dir/cpack.log" ||
    { cat "$dir/cpack.log"; exit 1; }
  for deb in "$dir"/cpack/*.deb; do
    mv "$deb" "$out/"
    built+=("$out/$(basename "$deb")")
  done
done

echo "== packages in $out"
for deb in "${built[@]}"; do
  printf '%s  %s bytes\n  Architecture: %s\n  Depends: %s\n' "$(basename "$deb")" \
    "$(stat -c %s "$deb")" "$(dpkg-deb -f "$deb" Architecture)" "$(dpkg-deb -f "$deb" Depends)"
done
