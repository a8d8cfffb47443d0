#!/usr/bin/env bash
# Screenshots of the service console in each of its states, taken under a virtual X
# display, so anyone can look at the window without a desktop.
#
#   scripts/screenshot-console.sh [build-folder] [output-folder]
#
# Defaults: build/ and build/screenshots/. Each state is shown at scale 1 and 2:
#   running, stopped, not-installed (the local service's states, given by a stand-in
#   for systemd) and remote (a host on the command line, answered by a loopback UDP
#   responder). Files: console-<state>[@2x].png.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
out=${2:-$build/screenshots}

# Xvfb and its runner are only needed here, so this script installs them itself.
if ! command -v xvfb-run >/dev/null || ! command -v xauth >/dev/null; then
  sudo=()
  ((EUID == 0)) || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends xvfb xauth >/dev/null
fi

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S . -B "$build" >/dev/null
fi
cmake --build "$build" --target console-screenshot BrivaneServiceConsole -j2 >/dev/null

mkdir -p "$out"
tool=$build/bin/console-screenshot
for state in running stopped not-installed remote; do
  xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
    env QT_QPA_PLATFORM=xcb "$tool" "$state" "$out/console-$state.png"
  xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
    env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 "$tool" "$state" "$out/console-$state@2x.png"
done
echo "screenshots in $out"
