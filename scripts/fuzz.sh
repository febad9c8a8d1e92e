#!/usr/bin/env bash
# Builds the fuzz targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a bounded time from the seed corpora in fuzz/corpus.
# Any finding fails the run and leaves the input as build/fuzz/findings/*.
#   scripts/fuzz.sh [SECONDS-PER-TARGET]     (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
source scripts/need.sh
need all cmake ninja clang clang++
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/findings
status=0
for target in command_line decimal main_flow; do
  # Work on a copy: libFuzzer adds what it finds to its corpus directory.
  work=build/fuzz/corpus/$target
  mkdir -p "$work"
  cp -n fuzz/corpus/$target/* "$work"/ 2>/dev/null || true
  echo "fuzz: $target for ${seconds}s"
  if ! build/fuzz/bin/${target}_fuzz "$work" -max_total_time="$seconds" -max_len=40000 \
      -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix=build/fuzz/findings/${target}- 2>build/fuzz/$target.log; then
    status=1
    tail -n 40 build/fuzz/$target.log
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' build/fuzz/$target.log | tail -n 2 || true
done
exit $status
