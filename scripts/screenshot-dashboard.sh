#!/usr/bin/env bash
# Screenshots of the web dashboard in headless Chromium, at phone (390x844 CSS pixels,
# twice as dense) and desktop (1280x900) sizes, each light and dark, full page.
#
#   scripts/screenshot-dashboard.sh [--days N] [build-folder] [output-folder]
#       a simulated MATE, BrivaneSvc and brivane-gateway of their own, with N days of
#       history filled in first (default 30)
#   scripts/screenshot-dashboard.sh --url http://HOST:8480/ [output-folder]
#       a dashboard that already runs (./run.sh prints its address)
#
# Defaults: build/ and build/screenshots/. Files: dashboard-{phone,desktop}-{light,dark}.png.
set -euo pipefail
cd "$(dirname "$0")/.."

url=""
days=30
while (($# > 0)); do
  case $1 in
    --url)
      url=${2:?--url needs an address}
      shift 2
      ;;
    --days)
      [[ ${2:-} =~ ^[0-9]+$ ]] || { echo "screenshot-dashboard: --days needs a number" >&2; exit 2; }
      days=$2
      shift 2
      ;;
    -h | --help)
      sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      break
      ;;
  esac
done

scripts/install-deps.sh
# Debian's own Python, which has python3-websocket, whatever python3 comes first in PATH.
python=/usr/bin/python3
[[ -x $python ]] || python=python3

if [[ -n "$url" ]]; then
  out=${1:-build/screenshots}
  exec "$python" tests/browser/screenshot_dashboard.py --url "$url" "$out"
fi

build=${1:-build}
out=${2:-$build/screenshots}
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target BrivaneSvc mate-sim brivane-gateway history-fill -j2 >/dev/null
"$python" tests/browser/screenshot_dashboard.py --bin "$build/bin" --days "$days" "$out"
echo "screenshots in $out"
