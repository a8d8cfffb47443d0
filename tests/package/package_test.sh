#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree, in a folder of its own, and
# checks it: the files and their owners, the control fields, the maintainer scripts, the
# installed programs running from a folder that is not the build tree, and lintian.
#   package_test.sh BUILD_DIR SANITIZED WITH_CONSOLE WITH_GATEWAY [ARCH [EMULATOR...]]
# ARCH is the package's Debian architecture (this machine's by default); a cross build's
# service runs through EMULATOR (qemu user-mode emulation).
# Exit status 0 passed, 1 failed, 77 skipped.
set -uo pipefail

build=${1:?build folder}
sanitized=${2:-0}
with_console=${3:-1}
with_gateway=${4:-0}
arch=${5:-}
emulator=("${@:6}")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

if [[ "$sanitized" == 1 ]]; then
  echo "skipped: the sanitizer build's programs are not what the package ships"
  exit 77
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() {
  echo "ok: $*"
}

for tool in cpack dpkg-deb dpkg-shlibdeps lintian python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"
    exit 1
  fi
done

work=$(mktemp -d /tmp/brivane-package-test-XXXXXX)
service_pid=
cleanup() {
  if [[ -n "$service_pid" ]]; then
    kill "$service_pid" 2>/dev/null
    wait "$service_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- Build -------------------------------------------------------------------------------
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack could not build the package"
  exit 1
fi
debs=("$work"/out/*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f "${debs[0]}" ]]; then
  cat "$work/cpack.log"
  echo "FAIL: expected one .deb in $work/out"
  exit 1
fi
deb=${debs[0]}
[[ -n "$arch" ]] || arch=$(dpkg --print-architecture)
[[ "$(basename "$deb")" == "brivane_1.0.0_${arch}.deb" ]] &&
  pass "file name $(basename "$deb")" || fail "file name $(basename "$deb")"

# --- Contents ----------------------------------------------------------------------------
listing=$(dpkg-deb -c "$deb")
echo "$listing"
paths=$(awk '{print $6}' <<<"$listing")
expect_file() {
  local path=$1 mode=$2
  local line
  line=$(awk -v p="$path" '$6 == p' <<<"$listing")
  if [[ -z "$line" ]]; then
    fail "missing $path"
  elif [[ "$(awk '{print $1}' <<<"$line")" != "$mode" ]]; then
    fail "$path has mode $(awk '{print $1}' <<<"$line"), expected $mode"
  else
    pass "$path $mode"
  fi
}
expect_file ./opt/brivane/BrivaneSvc -rwxr-xr-x
expect_file ./usr/share/man/man8/BrivaneSvc.8.gz -rw-r--r--
expect_file ./opt/brivane/mate-decode -rwxr-xr-x
expect_file ./usr/share/man/man1/mate-decode.1.gz -rw-r--r--
if [[ "$with_console" == 1 ]]; then
  expect_file ./opt/brivane/BrivaneServiceConsole -rwxr-xr-x
  expect_file ./usr/share/applications/brivane-service-console.desktop -rw-r--r--
  expect_file ./usr/share/icons/hicolor/scalable/apps/brivane-service-console.svg -rw-r--r--
  expect_file ./usr/share/man/man1/BrivaneServiceConsole.1.gz -rw-r--r--
fi
if [[ "$with_gateway" == 1 ]]; then
  expect_file ./opt/brivane/brivane-gateway -rwxr-xr-x
  expect_file ./usr/lib/systemd/system/brivane-gateway.service -rw-r--r--
  expect_file ./etc/brivane/gateway.ini -rw-r--r--
  expect_file ./usr/share/man/man8/brivane-gateway.8.gz -rw-r--r--
  # The dashboard's files, when the tree has them.
  if [[ -f "$source_dir/gateway/web/files/index.html" ]]; then
    expect_file ./usr/share/brivane/web/index.html -rw-r--r--
  fi
  # Installed disabled: nothing of the package's own enables it.
  grep -q '^\./etc/systemd/' <<<"$paths" && fail "the package enables a unit itself" ||
    pass "no unit enabled by the package's files"
fi
expect_file ./usr/share/doc/brivane/copyright -rw-r--r--
expect_file ./usr/share/doc/brivane/changelog.gz -rw-r--r--
expect_file ./usr/share/lintian/overrides/brivane -rw-r--r--
# Brivane.ini is the service's own: shipping it would let an upgrade overwrite it.
grep -qi 'brivane\.ini' <<<"$paths" && fail "the package ships Brivane.ini" || pass "no Brivane.ini"
others=$(awk '$2 != "root/root"' <<<"$listing")
[[ -z "$others" ]] && pass "everything owned by root" || fail "not owned by root: $others"
allowed=(-e '^\./$' -e '^\./opt/' -e '^\./usr/$' -e '^\./usr/share/')
if [[ "$with_gateway" == 1 ]]; then
  allowed+=(-e '^\./etc/$' -e '^\./etc/brivane/' -e '^\./usr/lib/$' -e '^\./usr/lib/systemd/')
fi
stray=$(grep -v "${allowed[@]}" <<<"$paths")
[[ -z "$stray" ]] && pass "nothing outside the package's folders" || fail "stray: $stray"

# --- Control fields ----------------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
dpkg-deb -I "$deb"
expect_field() {
  local name=$1 value=$2
  [[ "$(field "$name")" == "$value" ]] && pass "$name: $value" ||
    fail "$name is '$(field "$name")', expected '$value'"
}
expect_field Package brivane
expect_field Version 1.0.0
expect_field Architecture "$arch"
expect_field Section net
expect_field Priority optional
expect_field Maintainer "Brivane developers <support@brivane.com>"
depends=$(field Depends)
# The service carries its C++ runtime and loads libsystemd only for its command words.
needed_packages=(libc6 libsystemd0 systemd)
if [[ "$with_gateway" == 1 ]]; then
  # The dashboard's history and its charting library.
  needed_packages+=(libsqlite3-0 libjs-dygraphs)
fi
if [[ "$with_console" == 1 ]]; then
  needed_packages+=(libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 qt6-qpa-plugins)
fi
for needed in "${needed_packages[@]}"; do
  sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends" | grep -qxF -- "$needed" && pass "Depends: $needed" ||
    fail "Depends lacks $needed: $depends"
done
twice=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends" | sort | uniq -d)
[[ -z "$twice" ]] && pass "Depends names each package once" || fail "Depends names twice: $twice"
description=$(field Description)
[[ "$(head -n1 <<<"$description")" == "bridge from a solar system controller's serial port to TCP and UDP" ]] &&
  pass "Description synopsis" || fail "Description synopsis: $(head -n1 <<<"$description")"
[[ $(wc -l <<<"$description") -gt 3 ]] && pass "Description has a long text" ||
  fail "Description has no long text"

# --- Maintainer scripts ------------------------------------------------------------------
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  file=$work/control/$script
  if [[ ! -x "$file" ]]; then
    fail "no executable $script"
    continue
  fi
  sh -n "$file" && pass "$script parses" || fail "$script does not parse"
done
grep -q '"$program" "install silent"' "$work/control/postinst" &&
  grep -q '/run/systemd/system' "$work/control/postinst" &&
  pass "postinst registers the service where systemd runs" || fail "postinst"
grep -q '"$program" "uninstall silent"' "$work/control/prerm" &&
  pass "prerm unregisters the service" || fail "prerm"
grep -q 'Brivane.ini' "$work/control/postrm" && pass "postrm forgets Brivane.ini on purge" ||
  fail "postrm"
if [[ "$with_gateway" == 1 ]]; then
  [[ "$(cat "$work/control/conffiles" 2>/dev/null)" == "/etc/brivane/gateway.ini" ]] &&
    pass "gateway.ini is a conffile" || fail "conffiles: $(cat "$work/control/conffiles" 2>&1)"
  grep -q 'was-enabled brivane-gateway.service' "$work/control/postinst" &&
    ! grep -q 'enable --now\|systemctl enable' "$work/control/postinst" &&
    pass "postinst leaves the gateway as the administrator had it" || fail "postinst gateway"
  grep -q 'stop brivane-gateway.service' "$work/control/prerm" && pass "prerm stops the gateway" ||
    fail "prerm gateway"
fi

# --- Installed files ---------------------------------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root"
programs=(BrivaneSvc mate-decode)
pages=(man8/BrivaneSvc.8.gz man1/mate-decode.1.gz)
if [[ "$with_console" == 1 ]]; then
  programs+=(BrivaneServiceConsole)
  pages+=(man1/BrivaneServiceConsole.1.gz)
  desktop=$root/usr/share/applications/brivane-service-console.desktop
  grep -qx 'Exec=/opt/brivane/BrivaneServiceConsole' "$desktop" && pass "desktop Exec" ||
    fail "desktop Exec: $(grep '^Exec=' "$desktop")"
  grep -qx 'Icon=brivane-service-console' "$desktop" && pass "desktop Icon" || fail "desktop Icon"
  grep -Eq '^Categories=(.*;)?System;(.*;)?Monitor;' "$desktop" && pass "desktop Categories" ||
    fail "desktop Categories"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" && pass "desktop-file-validate" || fail "desktop-file-validate"
  fi
  python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' \
    "$root/usr/share/icons/hicolor/scalable/apps/brivane-service-console.svg" &&
    pass "icon is well-formed SVG" || fail "icon is not well-formed SVG"
fi
if [[ "$with_gateway" == 1 ]]; then
  programs+=(brivane-gateway)
  pages+=(man8/brivane-gateway.8.gz)
fi
for page in "${pages[@]}"; do
  gz=$root/usr/share/man/$page
  gzip -t "$gz" && pass "$page is gzip" || fail "$page is not gzip"
  # -n: no name or time stamp in the header, so the package is reproducible.
  [[ "$(od -An -tu1 -j4 -N4 "$gz" | tr -s ' ')" == " 0 0 0 0" ]] && pass "$page has no time stamp" ||
    fail "$page carries a time stamp"
done
for needle in 'SvcCon' 'OrvaTCP' 'SerialDevices' 'UDPBPort' 'TCPPort' 'COMPort' 'IPAddress' \
  'Too many connections!' 'already opened by another application!' 'install silent'; do
  zcat "$root/usr/share/man/man8/BrivaneSvc.8.gz" | grep -qF -- "$needle" &&
    pass "BrivaneSvc(8) mentions $needle" || fail "BrivaneSvc(8) lacks $needle"
done
if [[ "$with_gateway" == 1 ]]; then
  ini=$root/etc/brivane/gateway.ini
  # Every key, commented out with its default.
  for line in ';Bridge=127.0.0.1:8467' ';Site=' ';Broker=127.0.0.1:1883' ';Username=' \
    ';PasswordFile=' ';CAFile=' ';CertFile=' ';KeyFile=' ';TopicPrefix=brivane' \
    ';DiscoveryPrefix=homeassistant' ';Interval=10'; do
    grep -qxF -- "$line" "$ini" && pass "gateway.ini shows $line" || fail "gateway.ini lacks $line"
  done
  # Read whole first: grep -q would end a pipe early, and pipefail would count that.
  page_text=$(zcat "$root/usr/share/man/man8/brivane-gateway.8.gz" | sed 's/\\-/-/g; s/\\f[BIR]//g')
  for needle in Bridge Site Broker Username PasswordFile CAFile CertFile KeyFile TopicPrefix \
    DiscoveryPrefix Interval /status /state /availability mqtt-password LoadCredential \
    'systemctl enable --now brivane-gateway'; do
    grep -qF -- "$needle" <<<"$page_text" && pass "brivane-gateway(8) mentions $needle" ||
      fail "brivane-gateway(8) lacks $needle"
  done
  unit=$root/usr/lib/systemd/system/brivane-gateway.service
  grep -qx 'ExecStart=/opt/brivane/brivane-gateway' "$unit" && pass "unit ExecStart" ||
    fail "unit ExecStart: $(grep '^ExecStart=' "$unit")"
  exposure=$(systemd-analyze security --offline=yes "$unit" 2>/dev/null |
    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
  echo "gateway unit exposure (offline): ${exposure:-unknown}"
  [[ -n "$exposure" ]] && python3 -c "import sys; sys.exit(float('$exposure') > 2.0)" &&
    pass "gateway unit exposure $exposure <= 2.0" || fail "gateway unit exposure ${exposure:-unknown}"
fi
for program in "${programs[@]}"; do
  binary=$root/opt/brivane/$program
  if readelf -d "$binary" | grep -Eq 'RPATH|RUNPATH'; then
    fail "$program keeps a library search path: $(readelf -d "$binary" | grep -E 'RPATH|RUNPATH')"
  else
    pass "$program has no library search path"
  fi
  readelf -S "$binary" | grep -q '\.debug_info' && fail "$program is not stripped" ||
    pass "$program is stripped"
  grep -qF "$build" "$binary" && fail "$program names the build folder $build" ||
    pass "$program does not name the build folder"
  machine=$(LC_ALL=C readelf -h "$binary" | sed -n 's/^ *Machine: *//p')
  case "$arch:$machine" in
    amd64:*X86-64 | arm64:AArch64 | armhf:ARM | i386:*80386) pass "$program is $machine code" ;;
    *) fail "$program is $machine code in an $arch package" ;;
  esac
done

# The packaged service, run from a folder of its own, writes its settings beside itself and
# serves on the ports they name.
ports=$(python3 -c '
import socket
tcp = socket.socket(); tcp.bind(("127.0.0.1", 0))
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); udp.bind(("127.0.0.1", 0))
print(tcp.getsockname()[1], udp.getsockname()[1])')
read -r tcp_port udp_port <<<"$ports"
elsewhere=$work/elsewhere
mkdir "$elsewhere"
cp "$root/opt/brivane/BrivaneSvc" "$elsewhere/"
# COMPort without a number reads as 0 and is written back so; the serial devices point
# nowhere, so the machine's own ports are never probed.
printf '[BrivaneSvc]\nTCPPort=%s\nUDPBPort=%s\nIPAddress=127.0.0.1\nCOMPort=auto\n' \
  "$tcp_port" "$udp_port" >"$elsewhere/Brivane.ini"
{
  echo '[SerialDevices]'
  printf 'COM%s=/nonexistent/brivane-tty\n' 1 2 3 4
} >>"$elsewhere/Brivane.ini"
(cd / && exec "${emulator[@]}" "$elsewhere/BrivaneSvc" --foreground 2>"$work/service.err") &
service_pid=$!
answer=$(python3 - "$tcp_port" "$udp_port" <<'EOF'
import socket, sys, time
tcp_port, udp_port = int(sys.argv[1]), int(sys.argv[2])
deadline = time.monotonic() + 20
greeting = status = b""
while time.monotonic() < deadline and not (greeting and status):
    try:
        if not greeting:
            with socket.create_connection(("127.0.0.1", tcp_port), timeout=2) as s:
                while not greeting.endswith(b"\r\n"):
                    chunk = s.recv(512)
                    if not chunk:
                        break
                    greeting += chunk
        if not status:
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as u:
                u.settimeout(2)
                u.sendto(b"SvcCon", ("127.0.0.1", udp_port))
                status = u.recv(2048)
    except OSError:
        time.sleep(0.1)
print(repr(greeting), repr(status))
EOF
)
echo "service answered: $answer"
[[ "$answer" == "b'Brivane Pro v1.0.0 - "*"\\r\\n' b'\\nSVCL1.0.0,127.0.0.1,$tcp_port,0,0,0,0,"* ]] &&
  pass "the packaged service answers from a folder of its own" ||
  fail "the packaged service did not answer as expected: $answer $(cat "$work/service.err")"
grep -qx 'COMPort=0' "$elsewhere/Brivane.ini" && pass "it rewrote the Brivane.ini beside itself" ||
  fail "Brivane.ini beside it was not rewritten: $(cat "$elsewhere/Brivane.ini")"
kill -TERM "$service_pid"
wait "$service_pid"
status=$?
service_pid=
[[ $status -eq 0 ]] && pass "it stops in order on SIGTERM" || fail "exit status $status on SIGTERM"

# --- lintian -----------------------------------------------------------------------------
lintian_out=$(lintian --fail-on none --tag-display-limit 0 --info "$deb" 2>&1)
echo "lintian:"
echo "$lintian_out"
errors=$(grep -E '^E: ' <<<"$lintian_out")
[[ -z "$errors" ]] && pass "lintian reports no errors" || fail "lintian errors: $errors"

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all package checks passed"
