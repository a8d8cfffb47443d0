#!/bin/sh
# Companion of the gateway benchmark: N dashboard event streams (default 10) on the
# gateway's web port, each one's bytes written to $BENCH_FOLDER/events-<i> so a run can
# tell that they were fed. Run it in a process group of its own: the benchmark stops
# the whole group.
#
#   bench/gateway.sh 60 --settings bench/gateway/dashboard.ini \
#     --companion "exec sh $PWD/bench/gateway/event-streams.sh 10"
set -eu
count=${1:-10}
: "${BENCH_PORT_web:?the settings need Listen=127.0.0.1:@PORT:web@}"
i=0
while [ "$i" -lt "$count" ]; do
  curl -sN "http://127.0.0.1:$BENCH_PORT_web/api/events" >"$BENCH_FOLDER/events-$i" &
  i=$((i + 1))
done
wait
