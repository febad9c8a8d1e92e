#!/usr/bin/env bash
# Measures Wavrix: micro-benchmarks of reading and splitting, and whole runs
# against the simulated card timed next to a plain C program bound to the same
# card library that runs the bus set-up and writes one line to standard error
# (bench/yardstick.c), as medians of wall and CPU time over interleaved runs.
#   scripts/bench.sh [RUNS]      (default 1000 runs of each short program)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1000}
source scripts/need.sh
need native cmake ninja cc c++ "<benchmark/benchmark.h>"
cmake --preset native >/dev/null
cmake --build --preset native --target wavrix btvid_32 wavrix_bench run_timer yardstick >/dev/null
bin=build/native/bin

echo "== micro-benchmarks"
"$bin/wavrix_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_filter='.*' 2>/dev/null | grep -E '_median|^Benchmark'

echo "== whole runs (median of $runs; ms)"
# The yardstick and the message run take turns, so that the machine's drift
# falls on both alike; the tuning run, 31 ms a time, gets fewer turns.
{ read -r c_wall c_cpu; read -r m_wall m_cpu; } < <(
  "$bin/run_timer" "$runs" "$bin/yardstick" -- "$bin/wavrix" abc)
read -r t_wall t_cpu < <("$bin/run_timer" $((runs / 5)) "$bin/wavrix" 98.5)
printf '%-36s %8s %8s\n' program wall cpu
printf '%-36s %8.3f %8.3f\n' "C yardstick (set-up, one line)" "$c_wall" "$c_cpu"
printf '%-36s %8.3f %8.3f\n' "wavrix abc (set-up, one message)" "$m_wall" "$m_cpu"
printf '%-36s %8.3f %8.3f\n' "wavrix 98.5 (tuning)" "$t_wall" "$t_cpu"

echo "== against the targets"
awk -v cw="$c_wall" -v cc="$c_cpu" -v mw="$m_wall" -v tw="$t_wall" -v tc="$t_cpu" 'BEGIN {
  printf "message run / C yardstick:              %.3f (target 1.03)\n", mw / cw
  printf "tuning run beyond the 31 ms of waits:   %.3f ms wall, %.3f ms CPU\n", tw - 31, tc
  printf "  less the C yardstick:                 %.3f ms wall, %.3f ms CPU (targets 0.5, 1.0)\n", tw - 31 - cw, tc - cc
}'
