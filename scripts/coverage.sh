#!/usr/bin/env bash
# Builds with gcov, runs the test suite and reports line and branch coverage
# of app/, tuner/ and cardbus/, file by file and in total; fails below 95% of
# lines.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need all cmake ninja cc c++ gcov gcovr "<gtest/gtest.h>"
cmake --preset coverage >/dev/null
cmake --build --preset coverage
find build/coverage -name '*.gcda' -delete
if ! ctest --preset coverage >build/coverage/ctest.log; then
  cat build/coverage/ctest.log >&2
  echo "coverage: the tests failed" >&2
  exit 1
fi

# gcov's results are read once, and the reports made from them. The branches
# the compiler adds for exceptions are left out: the program is built without
# exceptions, so only the tests' own copies of its inline functions have them,
# on calls that never throw.
results=build/coverage/coverage.json
gcovr build/coverage --root . --filter 'app/' --filter 'tuner/' --filter 'cardbus/' \
  --exclude '.*_test\.cc' --exclude-throw-branches --json -o "$results"
echo "== lines run, by file (Missing: the lines never run)"
gcovr -a "$results" --root . --txt
echo "== branches taken, by file (Missing: the lines with a branch never taken)"
gcovr -a "$results" --root . --txt --branches
echo "== in total (at least 95% of lines)"
# The report goes to a file of its own: gcovr replaces its output file, and
# run as root it would replace the machine's /dev/null with a plain file.
gcovr -a "$results" --root . --print-summary --fail-under-line 95 -o build/coverage/summary.txt
