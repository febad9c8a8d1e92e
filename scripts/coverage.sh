#!/usr/bin/env bash
# Builds with gcov, runs the test suite and reports line and branch coverage
# of app/, tuner/ and cardbus/; fails below 95% of lines.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset coverage >/dev/null
cmake --build --preset coverage
find build/coverage -name '*.gcda' -delete
ctest --preset coverage >/dev/null
filters=(--root . --filter 'app/' --filter 'tuner/' --filter 'cardbus/' --exclude '.*_test\.cc')
gcovr build/coverage "${filters[@]}" --txt
gcovr build/coverage "${filters[@]}" --txt --branches | tail -n 3
gcovr build/coverage "${filters[@]}" --fail-under-line 95 >/dev/null
