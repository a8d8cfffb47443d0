#!/usr/bin/env bash
# Runs the bridge on this machine: installs what is missing, builds BrivaneSvc,
# mate-sim, mate-decode and brivane-gateway into build/, starts a simulated MATE (an FX,
# an MX and a FLEXnet DC), BrivaneSvc --foreground and the gateway with its web
# dashboard from run/, until Ctrl-C.
#   ./run.sh                        against the simulator; the dashboard on 127.0.0.1
#   ./run.sh --device /dev/ttyUSB0  against a real MATE on that serial device
#   ./run.sh --mqtt                 also a private MQTT broker on loopback for the gateway
#   ./run.sh --mqtt --mqtt-port N   the same with the broker on port N (default: a free one)
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

device=""
mqtt=0
mqtt_port=""
while (($# > 0)); do
  case "$1" in
    --device)
      [[ $# -ge 2 && -n "$2" ]] || { echo "run.sh: --device needs a path" >&2; exit 2; }
      device=$2
      shift 2
      ;;
    --mqtt)
      mqtt=1
      shift
      ;;
    --mqtt-port)
      [[ $# -ge 2 && "$2" =~ ^[0-9]+$ && "$2" -ge 1 && "$2" -le 65535 ]] ||
        { echo "run.sh: --mqtt-port needs a port number" >&2; exit 2; }
      mqtt=1
      mqtt_port=$2
      shift 2
      ;;
    -h | --help)
      sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "run.sh: unknown option $1 (try --help)" >&2
      exit 2
      ;;
  esac
done

scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target BrivaneSvc mate-sim mate-decode brivane-gateway history-fill \
  -j"$(nproc)"

tcp_port=8467
udp_port=8466
run_dir=$root/run
mkdir -p "$run_dir"

sim_pid=""
svc_pid=""
broker_pid=""
gateway_pid=""

# Stops the gateway first (it says goodbye to the broker), then the service (it lets go
# of the port), the simulator and the broker; waits for each, so that nothing outlives
# the script.
stop_children() {
  trap - INT TERM EXIT
  local pid
  for pid in $gateway_pid $svc_pid $sim_pid $broker_pid; do
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap 'stop_children; exit 130' INT
trap 'stop_children; exit 143' TERM
trap 'stop_children' EXIT

# A port already taken would make the service stop at once with a journal entry.
listening() {
  local hex
  hex=$(printf ':%04X ' "$1")
  cat /proc/net/tcp /proc/net/tcp6 2>/dev/null | grep -q "$hex[0-9A-F:]* 0A "
}
if listening "$tcp_port"; then
  echo "run.sh: TCP port $tcp_port is taken (is Brivane already running? systemctl stop Brivane)" >&2
  exit 1
fi

if [[ -z "$device" ]]; then
  device=$run_dir/mate
  rm -f "$device"
  build/bin/mate-sim --devices 0,A,a --link "$device" >/dev/null &
  sim_pid=$!
  for _ in $(seq 100); do
    [[ -L "$device" ]] && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "run.sh: mate-sim did not start" >&2; exit 1; }
    sleep 0.1
  done
  [[ -L "$device" ]] || { echo "run.sh: mate-sim made no $device" >&2; exit 1; }
  source_text="simulated MATE (FX 0, MX A, FLEXnet DC a) on $device -> $(readlink "$device")"
else
  [[ -e "$device" ]] || echo "run.sh: warning: $device does not exist (yet)" >&2
  source_text="MATE on $device"
fi

cp -f build/bin/BrivaneSvc "$run_dir/BrivaneSvc"
cat >"$run_dir/Brivane.ini" <<EOF
[BrivaneSvc]
COMPort=1
UDPBPort=$udp_port
TCPPort=$tcp_port

[SerialDevices]
COM1=$device
EOF

(cd "$run_dir" && exec ./BrivaneSvc --foreground) &
svc_pid=$!

for _ in $(seq 100); do
  listening "$tcp_port" && break
  kill -0 "$svc_pid" 2>/dev/null || break
  sleep 0.1
done

if ((mqtt)); then
  if [[ -z "$mqtt_port" ]]; then
    mqtt_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  fi
  if listening "$mqtt_port"; then
    echo "run.sh: TCP port $mqtt_port is taken; choose another with --mqtt-port" >&2
    exit 1
  fi
  # A broker of this run only: loopback, no persistence, never the machine's own.
  cat >"$run_dir/mosquitto.conf" <<EOF
listener $mqtt_port 127.0.0.1
allow_anonymous true
persistence false
log_dest stderr
log_type error
log_type warning
EOF
  /usr/sbin/mosquitto -c "$run_dir/mosquitto.conf" 2>"$run_dir/mosquitto.log" &
  broker_pid=$!
  for _ in $(seq 100); do
    listening "$mqtt_port" && break
    kill -0 "$broker_pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! listening "$mqtt_port"; then
    echo "run.sh: mosquitto did not start on port $mqtt_port:" >&2
    cat "$run_dir/mosquitto.log" >&2
    exit 1
  fi
fi

# The gateway: the dashboard on loopback (8480 unless taken), its history in run/,
# filled with a month of plausible days on the first run so that the charts show
# something at once.
web_port=8480
if listening "$web_port"; then
  web_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
fi
if [[ ! -f "$run_dir/history.db" ]]; then
  build/bin/history-fill --db "$run_dir/history.db" --days 30 --devices fx_0,mx_1,fndc_1
fi
broker_line="Broker="
if ((mqtt)); then
  broker_line="Broker=127.0.0.1:$mqtt_port"
fi
cat >"$run_dir/gateway.ini" <<EOF
[Gateway]
Bridge=127.0.0.1:$tcp_port

[MQTT]
$broker_line

[History]
Path=$run_dir/history.db

[Web]
Listen=127.0.0.1:$web_port
EOF
build/bin/brivane-gateway --config "$run_dir/gateway.ini" &
gateway_pid=$!

cat <<EOF

Brivane runs from $run_dir, reading the $source_text.
  Watch the records:   nc 127.0.0.1 $tcp_port
  Decoded, as JSON:    build/bin/mate-decode --bridge 127.0.0.1:$tcp_port
  Ask for the status:  printf SvcCon | nc -u -w 1 127.0.0.1 $udp_port | od -c
  Find the service:    printf OrvaTCP | nc -u -w 1 127.0.0.1 $udp_port | od -c
Journal entries appear below as "error 109: ..." or "warning 109: ...". Ctrl-C stops everything.

Dashboard:             http://127.0.0.1:$web_port/
  live from brivane-gateway (its lines start with "brivane-gateway:"); its history is
  $run_dir/history.db, a month of simulated days at first (delete it for a fresh one)

EOF
if ((mqtt)); then
  cat <<EOF
MQTT: a private mosquitto listens on 127.0.0.1:$mqtt_port (log: $run_dir/mosquitto.log), and
brivane-gateway publishes the decoded MATE to it.
  Watch it:            mosquitto_sub -h 127.0.0.1 -p $mqtt_port -v -t 'brivane/#' -t 'homeassistant/#'
  Act as Home Assistant restarting:
                       mosquitto_pub -h 127.0.0.1 -p $mqtt_port -t homeassistant/status -m online

EOF
fi

status=0
wait "$svc_pid" || status=$?
svc_pid=""
exit "$status"
