#!/usr/bin/env bash
# Fan-out benchmark: BrivaneSvc and ser2net 4 under the same load, one after the other.
# A pseudo-terminal carries sequence-numbered MATE records at the 19200-baud line rate;
# N loopback clients receive them through each bridge for D seconds. Prints the table
# with the ratios Brivane/ser2net and writes the JSON to bench/results/.
#
#   bench/run.sh [clients (100)] [seconds (60)]
#
# Environment: BENCH_BUILD (build folder, default build-bench), BENCH_JOBS (2),
# BENCH_SERVICE (a BrivaneSvc to measure instead of the one built, e.g. a trial build),
# BENCH_PIN=1 to put bridge and clients on CPUs of their own (default: the scheduler's
# choice; on small virtual machines every wake-up of another CPU is an interrupt between
# virtual CPUs, which pinning makes the rule and the fan-out pays for).
set -euo pipefail
cd "$(dirname "$0")/.."

clients=${1:-100}
seconds=${2:-60}
build=${BENCH_BUILD:-build-bench}

if ! command -v ser2net >/dev/null; then
  echo "installing ser2net" >&2
  apt-get install -y ser2net >/dev/null || { apt-get update >/dev/null && apt-get install -y ser2net >/dev/null; }
fi
# Debian's package starts its own daemon; it holds no port of ours, but keep it quiet.
systemctl stop ser2net >/dev/null 2>&1 || true

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRIVANE_BUILD_CONSOLE=OFF >/dev/null
cmake --build "$build" --target fanout BrivaneSvc -j"${BENCH_JOBS:-2}" >/dev/null

work=$(mktemp -d /tmp/brivane-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
tcp_brivane=$(free_port)
udp_brivane=$(free_port)
tcp_ser2net=$(free_port)

mkdir -p "$work/brivane"
cp "${BENCH_SERVICE:-$build/bin/BrivaneSvc}" "$work/brivane/BrivaneSvc"
cat >"$work/brivane/Brivane.ini" <<INI
[BrivaneSvc]
COMPort=1
UDPBPort=$udp_brivane
TCPPort=$tcp_brivane
IPAddress=
[SerialDevices]
COM1=$work/brivane-line
INI

cat >"$work/ser2net.yaml" <<YAML
connection: &bench
  accepter: tcp,127.0.0.1,$tcp_ser2net
  connector: serialdev,$work/ser2net-line,19200n81,local
  options:
    max-connections: $clients
YAML

mkdir -p bench/results
stamp=$(date -u +%Y%m%dT%H%M%SZ)
json="bench/results/fanout-$stamp.json"
status=0
"$build"/bin/fanout --clients "$clients" --seconds "$seconds" --json "$json" \
  --log "$work/bridges.log" $([ "${BENCH_PIN:-0}" = 1 ] && echo --pin) \
  --target "Brivane,$work/brivane-line,$tcp_brivane,cd $work/brivane && exec ./BrivaneSvc --foreground" \
  --target "ser2net,$work/ser2net-line,$tcp_ser2net,exec ser2net -n -c $work/ser2net.yaml -P $work/ser2net.pid" \
  || status=$?
echo
echo "JSON: $json"
if [ "$status" -ne 0 ]; then
  echo "bridge output:" >&2
  tail -n 20 "$work/bridges.log" >&2 || true
fi
exit "$status"
