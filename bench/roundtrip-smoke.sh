#!/usr/bin/env bash
# Runs bench_bus_roundtrip briefly against servo-sim with one servo: fails when the program
# fails (it does when an exchange goes unanswered). No figure is judged.
#   roundtrip-smoke.sh SERVO-SIM BENCH_BUS_ROUNDTRIP CATALOGUE
set -euo pipefail
work=$(mktemp -d)
cp "$3" "$work/setup.log"
cd "$work"
"$1" --link "$work/bus" --servo 1:Kestrel-12 >/dev/null &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$work"' EXIT
# The link appears once the bus is up.
for _ in $(seq 100); do
  [[ -e $work/bus ]] && break
  kill -0 $sim 2>/dev/null || { echo "smoke: servo-sim ended" >&2; exit 1; }
  sleep 0.05
done
"$2" "$work/bus" 50 1
