#!/usr/bin/env bash
# Gateway benchmark: brivane-gateway next to BrivaneSvc, with a private mosquitto on
# loopback, while a pseudo-terminal carries an FX, an MX and a FLEXnet DC's pages at the
# 19200-baud line rate. Every run starts its own broker, service and gateway; the runs
# cover each interval with each number of MQTT subscribers. Prints the table and writes
# the JSON to bench/results/gateway-<time>.json.
#
#   bench/gateway.sh [seconds (60)] [gateway-bench options...]
#
# e.g. bench/gateway.sh 60 --intervals 0 --subscribers 1,100,1000
#      bench/gateway.sh 60 --settings bench/gateway/dashboard.ini --label dashboard \
#        --companion "exec sh $PWD/bench/gateway/event-streams.sh 10"
#
# The gateway reads --settings (default: bench/gateway/plain.ini, MQTT only: no web
# side, the history in the run's folder); Bridge, Broker, Site and Interval come from
# the command line. In that file @FOLDER@ stands for the run's own folder and
# @PORT:name@ for a free loopback port; --companion 'exec COMMAND' runs a load of its
# own beside the gateway (in a process group that is stopped as a whole), with
# BENCH_FOLDER and BENCH_PORT_<name> in its environment.
#
# Environment: BENCH_BUILD (build folder, default build-bench), BENCH_JOBS (2),
# BENCH_SERVICE / BENCH_GATEWAY (a BrivaneSvc / brivane-gateway to measure instead of
# the ones built).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
if [[ $# -gt 0 && "$1" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
build=${BENCH_BUILD:-build-bench}

if ! command -v mosquitto >/dev/null && [[ ! -x /usr/sbin/mosquitto ]]; then
  echo "installing mosquitto" >&2
  apt-get install -y mosquitto >/dev/null ||
    { apt-get update >/dev/null && apt-get install -y mosquitto >/dev/null; }
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRIVANE_BUILD_CONSOLE=OFF >/dev/null
cmake --build "$build" --target gateway-bench BrivaneSvc brivane-gateway -j"${BENCH_JOBS:-2}" >/dev/null

args=(--seconds "$seconds" --settings bench/gateway/plain.ini)
if [[ -n "${BENCH_SERVICE:-}" ]]; then
  export BRIVANE_SERVICE_PROGRAM=$BENCH_SERVICE
fi
if [[ -n "${BENCH_GATEWAY:-}" ]]; then
  args+=(--gateway "$BENCH_GATEWAY")
fi

mkdir -p bench/results
json="bench/results/gateway-$(date -u +%Y%m%dT%H%M%SZ).json"
status=0
BRIVANE_BIN_DIR=$(cd "$build/bin" && pwd) "$build"/bin/gateway-bench "${args[@]}" "$@" --json "$json" ||
  status=$?
echo
echo "JSON: $json"
exit "$status"
