#!/usr/bin/env bash
# Runs one benchmark program briefly (SERVO_BENCH_SMOKE is set by CTest): it fails when the
# program fails, runs no benchmark, or a benchmark reports an error or was skipped. No figure
# is judged.
#   smoke.sh BENCHMARK-PROGRAM [ARGUMENTS...]
set -uo pipefail
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$@" --benchmark_out="$out" --benchmark_out_format=json || { echo "smoke: $1 failed" >&2; exit 1; }
if ! grep -q '"run_name"' "$out"; then
  echo "smoke: $1 ran no benchmark" >&2
  exit 1
fi
if grep -q '"error_occurred": true' "$out"; then
  echo "smoke: a benchmark of $1 reported an error or was skipped:" >&2
  grep -A1 '"error_occurred": true' "$out" >&2
  exit 1
fi
echo "smoke: $(grep -c '"run_name"' "$out") benchmark runs of $(basename "$1") ran"
