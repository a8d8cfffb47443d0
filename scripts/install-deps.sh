#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Brivane need.
# Idempotent; does nothing but a quick check when everything is already there.
set -euo pipefail

packages=(
  g++ cmake pkg-config make
  libasio-dev
  nlohmann-json3-dev
  libsystemd-dev
  qt6-base-dev
  libgtest-dev libgmock-dev
  util-linux systemd dbus
  locales
)
# Extra tools used by later test stages, listed by the scripts that add them.
if [[ -f "$(dirname "$0")/extra-packages.txt" ]]; then
  while read -r p; do
    [[ -n "$p" && "$p" != \#* ]] && packages+=("$p")
  done <"$(dirname "$0")/extra-packages.txt"
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if ((EUID != 0)); then
  sudo=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
