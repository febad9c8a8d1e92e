#!/usr/bin/env bash
# Runs the Linux program under valgrind's memcheck on the end-to-end paths:
# every run must be free of memory errors and leaks and end with the exit code
# the program gives that argument. (valgrind carries x87 extended arithmetic in
# double precision, so the numbers themselves are not judged here; the tests
# do that natively.) A run that ends any other way, valgrind's own trouble
# included, fails with its log shown, and so does a machine without valgrind.
# The program and the card library are built first, so that the runs check
# what the sources are now.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/need.sh
need all valgrind cmake ninja cc c++
cmake --preset native >/dev/null
cmake --build --preset native --target wavrix btvid_32
exe=build/native/bin/wavrix
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
memory_errors=99
runs=0
failures=0

# check EXIT-CODE [NAME=VALUE...] -- [ARGUMENT]: one run, with the simulated
# card's settings before the --.
check() {
  local expected=$1 settings=() status=0
  shift
  while [ "$1" != -- ]; do
    settings+=("$1")
    shift
  done
  shift
  env WAVRIX_SIM_TRACE="$work/trace" "${settings[@]}" \
    valgrind -q --error-exitcode=$memory_errors --leak-check=full \
    --errors-for-leak-kinds=definite,indirect "$exe" "$@" >/dev/null 2>"$work/log" || status=$?
  runs=$((runs + 1))
  if [ "$status" -ne "$expected" ]; then
    failures=$((failures + 1))
    local what="ended with $status, not $expected"
    [ "$status" -ne $memory_errors ] || what="has memory errors"
    echo "memcheck: ${settings[*]:+${settings[*]} }wavrix ${*@Q} $what:" >&2
    cat "$work/log" >&2
  fi
}

check 0 -- 98.5
check 0 -- 98500000
check 0 -- abc
check 0 -- ""
check 0 -- 1000
check 0 -- -98.5
check 207 -- 1e19
check 205 -- -1e303
check 205 -- 1e400
check 205 -- 1e5119
check 205 -- "$(printf '2%0308dx' 0)"
check 0 -- "$(printf '%04096d' 0)"
check 0 --
check 0 WAVRIX_SIM_STATUS=20,00,fail -- 100
check 0 WAVRIX_SIM_STATUS=fail:60 WAVRIX_SIM_CONTROL_WORD=007F -- 89.33125

if [ "$failures" -ne 0 ]; then
  echo "memcheck: $failures of $runs runs failed" >&2
  exit 1
fi
echo "memcheck: $runs runs, no errors"
