#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Brivane need.
# Idempotent; does nothing but a quick check when everything is already there.
#
#   scripts/install-deps.sh                         this machine's own build
#   scripts/install-deps.sh --cross arm64 [--cross armhf] [--no-console]
#       also a cross build for each ARCH: the architecture added to dpkg, Debian's cross
#       toolchain, qemu user-mode emulation for the tests, and the ARCH's own development
#       packages (without Qt when --no-console is given)
set -euo pipefail

cross=()
console=1
while (($# > 0)); do
  case $1 in
    --cross)
      cross+=("${2:?--cross needs an architecture}")
      shift 2
      ;;
    --no-console)
      console=0
      shift
      ;;
    *)
      echo "usage: $0 [--cross ARCH]... [--no-console]" >&2
      exit 2
      ;;
  esac
done

packages=(
  g++ cmake pkg-config make
  libasio-dev
  nlohmann-json3-dev
  libsqlite3-dev
  libjs-dygraphs
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

sudo=()
if ((EUID != 0)); then
  sudo=(sudo)
fi

# Libraries the programs and their tests link against, in the target's own build.
native=$(dpkg --print-architecture)
added_architecture=0
for arch in "${cross[@]}"; do
  [[ "$arch" == "$native" ]] && continue
  if ! grep -qxF "$arch" <(dpkg --print-foreign-architectures); then
    echo "install-deps: adding the dpkg architecture $arch"
    "${sudo[@]}" dpkg --add-architecture "$arch"
    added_architecture=1
  fi
  packages+=("crossbuild-essential-$arch" qemu-user-static
    "libsystemd-dev:$arch" "libsystemd0:$arch" "libgtest-dev:$arch" "libgmock-dev:$arch"
    "libmosquitto-dev:$arch" "libssl-dev:$arch" "libsqlite3-dev:$arch")
  if ((console)); then
    packages+=("qt6-base-dev:$arch")
  fi
done

missing=()
# A name without an architecture means this machine's own copy (or the one for all
# architectures), whatever foreign copies of it are installed beside it.
installed() {
  local name=$1 status
  if [[ "$name" != *:* ]]; then
    status=$(dpkg-query -W -f='${Status}' "$name:$native" 2>/dev/null || true)
    [[ -n "$status" ]] || status=$(dpkg-query -W -f='${Status}' "$name" 2>/dev/null || true)
  else
    status=$(dpkg-query -W -f='${Status}' "$name" 2>/dev/null || true)
  fi
  [[ "$status" == "install ok installed" ]]
}
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if ((${#missing[@]} == 0 && added_architecture == 0)); then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
if ((${#missing[@]} > 0)); then
  # A foreign architecture's library must have the same version as this machine's own
  # copy, so apt may upgrade a few native packages along with it.
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${missing[@]}" >/dev/null
fi
