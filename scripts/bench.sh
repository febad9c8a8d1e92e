#!/usr/bin/env bash
# Measures Wavrix: micro-benchmarks of reading and splitting, and whole runs
# against the simulated card timed next to a plain C program that starts and
# exits (medians of wall and CPU time over repeated runs).
#   scripts/bench.sh [RUNS]      (default 500 runs of each short program)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-500}
bash scripts/setup.sh native
cmake --preset native >/dev/null
cmake --build --preset native --target wavrix btvid_32 wavrix_bench run_timer empty_c >/dev/null
bin=build/native/bin

echo "== micro-benchmarks"
"$bin/wavrix_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_filter='.*' 2>/dev/null | grep -E '_median|^Benchmark'

echo "== whole runs (median of $runs; ms)"
# The plain C program and the message run take turns; the tuning run, 31 ms
# a time, gets fewer turns.
{ read -r c_wall c_cpu; read -r m_wall m_cpu; } < <(
  "$bin/run_timer" "$runs" "$bin/empty_c" -- "$bin/wavrix" abc)
read -r t_wall t_cpu < <("$bin/run_timer" $((runs / 5)) "$bin/wavrix" 98.5)
printf '%-28s %8s %8s\n' program wall cpu
printf '%-28s %8.3f %8.3f\n' "plain C start and exit" "$c_wall" "$c_cpu"
printf '%-28s %8.3f %8.3f\n' "wavrix abc (a message)" "$m_wall" "$m_cpu"
printf '%-28s %8.3f %8.3f\n' "wavrix 98.5 (tuning)" "$t_wall" "$t_cpu"

echo "== against the targets"
awk -v cw="$c_wall" -v cc="$c_cpu" -v mw="$m_wall" -v tw="$t_wall" -v tc="$t_cpu" 'BEGIN {
  printf "message run / plain C start-up:         %.3f (target 1.10)\n", mw / cw
  printf "tuning run beyond the 31 ms of waits:   %.3f ms wall, %.3f ms CPU\n", tw - 31, tc
  printf "  less the plain C start-up:            %.3f ms wall, %.3f ms CPU (targets 0.5, 1.0)\n", tw - 31 - cw, tc - cc
}'
