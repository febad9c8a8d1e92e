#!/usr/bin/env bash
# Builds every configuration of Wavrix and runs every check:
#   static analysis (clang-tidy, cppcheck),
#   the test suite under AddressSanitizer and UndefinedBehaviorSanitizer,
#   coverage of app/, tuner/ and cardbus/ (at least 95% of lines),
#   each fuzz target for a bounded time (WAVRIX_FUZZ_SECONDS, default 60),
#   valgrind memcheck on the end-to-end paths,
#   and last the full suite: unit, end-to-end, the MPFR check of the number
#   reader, and the Windows program under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh all

step() { printf '\n==== %s\n' "$*"; }

step "configure and build (Linux, and Windows beside it)"
cmake --preset native
cmake --build --preset native

step "static analysis"
bash scripts/analyze.sh

step "sanitizers"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize

step "coverage"
bash scripts/coverage.sh

step "fuzzing"
bash scripts/fuzz.sh "${WAVRIX_FUZZ_SECONDS:-60}"

step "valgrind memcheck"
bash scripts/memcheck.sh

step "tests"
ctest --preset native
